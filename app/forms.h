// The wizard's windows. Each is created and loaded the first time it is named, and afterwards
// only hidden and shown, never unloaded, so each load runs once per run and a window the user
// comes back to shows what it showed. One Forms object lives for the whole program (and one
// per test); the windows reach each other through it.
//
// This is the one place that knows every window's class. A window asks for another by its
// step (window()), and for the two things one step does to another's contents by what they
// are (tableList(), FillFieldStep()); it includes no other window's header, so the database
// step (app/), the steps (steps/) and the operations (math/) do not depend on each other. The
// windows by class (form1() to form7()) are for the program, the screenshots and the tests.
#pragma once

#include <memory>
#include <string>

namespace db {
class Connection;
class Recordset;
}  // namespace db

namespace app {

class Form1;
class Form2;
class Form3;
class Form4;
class Form5;
class Form6;
class Form7;
class ListBoxControl;
class Trap;
class WizardWindow;

// The wizard's steps, each one window: the database (Form1), the table (Form2), the fields
// (Form3), the math option (Form4) and its three operations (Form5 to Form7).
enum class Step {
    Database,
    Table,
    Fields,
    MathOption,
    ConstantOperation,
    FieldOperation,
    NewField,
};

class Forms {
public:
    Forms();
    ~Forms();
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    static Forms& current();

    // The step's window, loaded the first time: to show it, or to hide it.
    WizardWindow& window(Step step);

    // The table step's list, which the database step fills before it shows the step.
    ListBoxControl& tableList();

    // What the table step's "Next >" and the math option step's "< Back" both do to the field
    // step: show it and fill it afresh from `table` (Form3::FillFromTable, labels from `first`).
    // The window is loaded before the first of those statements runs.
    void FillFieldStep(Trap& trap, int first, const std::shared_ptr<db::Connection>& cn,
                       const std::shared_ptr<db::Recordset>& rs, const std::string& table);

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
