#include "programwindows.h"

#include "mainform.h"
#include "rs232cfunc.h"
#include "unit2.h"
#include "unit4.h"
#include "unit5.h"

namespace Ordavex {

namespace {

template<typename Form>
void SetMaker(std::unique_ptr<Form> *keep)
{
    OnFirstUse<Form>::make = keep ? std::function<void()>([keep] { *keep = std::make_unique<Form>(); })
                                  : std::function<void()>();
}

} // namespace

ProgramWindows::ProgramWindows(const Paths::AppPaths &paths)
    : m_form1(std::make_unique<TForm1>(paths))
    , m_form3(std::make_unique<TForm3>())
{
    m_form1->setMonitor(m_form3.get());
    SetMaker(&m_form2);
    SetMaker(&m_form4);
    SetMaker(&m_form5);
}

ProgramWindows::~ProgramWindows()
{
    // Nothing is built any more while the windows go.
    SetMaker<TForm5>(nullptr);
    SetMaker<TForm4>(nullptr);
    SetMaker<TForm2>(nullptr);
    m_form5.reset();
    m_form4.reset();
    m_form3.reset();
    m_form2.reset();
    m_form1.reset();
}

} // namespace Ordavex
