#pragma once

#include "core/paths.h"

#include <functional>
#include <memory>

namespace Ordavex {

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

// A window built the first time it is wanted rather than at start. ProgramWindows sets
// the maker, which builds the window into its own keeping; the users of the window's
// global pointer ask for it through Wanted.
template<typename Form>
struct OnFirstUse
{
    static inline std::function<void()> make;
};

// The window behind global, built now when there is none yet and a maker is set;
// nullptr when neither.
template<typename Form>
Form *Wanted(Form *&global)
{
    if (!global && OnFirstUse<Form>::make)
        OnFirstUse<Form>::make();
    return global;
}

// The program's windows, in their fixed order. The main window and the monitor are built
// at once (in COM-only mode the monitor shows at start); the dialogs the main window opens
// now and then (the delete dialog, the link settings, the machine choice) are built on
// first use, so that a start pays only for what it shows. All go, in reverse order, with
// this object.
class ProgramWindows final
{
public:
    explicit ProgramWindows(const Paths::AppPaths &paths);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows &) = delete;
    ProgramWindows &operator=(const ProgramWindows &) = delete;

    TForm1 &main() { return *m_form1; }
    TForm3 &monitor() { return *m_form3; }

private:
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TForm4> m_form4;
    std::unique_ptr<TForm5> m_form5;
};

} // namespace Ordavex
