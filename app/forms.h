// The wizard's windows. Each is created and loaded the first time it is named, and afterwards
// only hidden and shown, never unloaded, so each load runs once per run and a window the user
// comes back to shows what it showed. One Forms object lives for the whole program (and one
// per test); the windows reach each other through it.
#pragma once

#include <memory>

namespace app {

class Form1;
class Form2;
class Form3;
class Form4;
class Form5;
class Form6;
class Form7;

class Forms {
public:
    Forms();
    ~Forms();
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    static Forms& current();

    Form1& form1();
    Form2& form2();
    Form3& form3();
    Form4& form4();
    Form5& form5();
    Form6& form6();
    Form7& form7();

    // Ends the program at once: every window closes, nothing is asked.
    void EndProgram();
    bool ended() const { return ended_; }

private:
    template <class Form>
    Form& loaded(std::unique_ptr<Form>& slot);

    std::unique_ptr<Form1> form1_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<Form3> form3_;
    std::unique_ptr<Form4> form4_;
    std::unique_ptr<Form5> form5_;
    std::unique_ptr<Form6> form6_;
    std::unique_ptr<Form7> form7_;
    bool ended_ = false;
};

}  // namespace app
