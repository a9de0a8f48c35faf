#include "app/forms.h"

#include <stdexcept>

#include "app/form1.h"
#include "math/form5.h"
#include "math/form6.h"
#include "math/form7.h"
#include "steps/form2.h"
#include "steps/form3.h"
#include "steps/form4.h"

namespace app {
namespace {
Forms* currentForms = nullptr;
}

Forms::Forms() {
    if (currentForms != nullptr) throw std::logic_error("only one set of wizard windows");
    currentForms = this;
}

Forms::~Forms() {
    form7_.reset();
    form6_.reset();
    form5_.reset();
    form4_.reset();
    form3_.reset();
    form2_.reset();
    form1_.reset();
    currentForms = nullptr;
}

Forms& Forms::current() {
    if (currentForms == nullptr) throw std::logic_error("the wizard's windows do not exist");
    return *currentForms;
}

// The slot is filled before the load runs, so a load that names its own window (Form1's load
// runs the Next action, which names Form2, which may name Form1) finds it.
template <class Form>
Form& Forms::loaded(std::unique_ptr<Form>& slot) {
    if (!slot) {
        slot = std::make_unique<Form>();
        slot->Form_Load();
    }
    return *slot;
}

WizardWindow& Forms::window(Step step) {
    switch (step) {
        case Step::Database:
            return form1();
        case Step::Table:
            return form2();
        case Step::Fields:
            return form3();
        case Step::MathOption:
            return form4();
        case Step::ConstantOperation:
            return form5();
        case Step::FieldOperation:
            return form6();
        case Step::NewField:
            return form7();
    }
    throw std::logic_error("no such step");
}

ListBoxControl& Forms::tableList() { return *form2().List1; }

void Forms::FillFieldStep(Trap& trap, int first, const std::shared_ptr<db::Connection>& cn,
                          const std::shared_ptr<db::Recordset>& rs, const std::string& table) {
    form3().FillFromTable(trap, first, cn, rs, table);
}

Form1& Forms::form1() { return loaded(form1_); }
Form2& Forms::form2() { return loaded(form2_); }
Form3& Forms::form3() { return loaded(form3_); }
Form4& Forms::form4() { return loaded(form4_); }
Form5& Forms::form5() { return loaded(form5_); }
Form6& Forms::form6() { return loaded(form6_); }
Form7& Forms::form7() { return loaded(form7_); }

void Forms::EndProgram() {
    ended_ = true;
    endProgram();
}

}  // namespace app
