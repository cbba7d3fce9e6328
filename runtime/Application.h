// The application object: the window set, the event loop and the program's
// own identity.
#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

class Seam;
class TForm;

// Which GUI runtime generation the program was built for; it decides only
// the compiler version that the main window offers first.
enum class RuntimeGeneration { Delphi3, Delphi4 };

class TApplication {
public:
    TApplication(Seam &seam, RuntimeGeneration generation);
    ~TApplication();
    TApplication(const TApplication &) = delete;
    TApplication &operator=(const TApplication &) = delete;

    // Readies the runtime for the windows: the last window closed ends the
    // program, and the faces the windows name resolve to their stand-ins
    // (MS Sans Serif and Arial to Liberation Sans, Times New Roman to
    // Liberation Serif). Every window and message box without a face of its
    // own is set in MS Sans Serif 8, the dialog face of the runtime.
    void Initialize();

    // Builds a window and sets ref; the first one becomes the main window.
    // The application owns the windows until it is destroyed.
    template <class Form> void CreateForm(Form *&ref) {
        ref = new Form();
        adopt(ref);
    }

    // Shows the main window and runs the event loop until the main window has
    // closed or Terminate was called.
    int Run();
    // For loops that would run pending events once per item: handles every
    // pending event when at least a millisecond has passed since the last
    // pass, and otherwise returns at once, so no event waits longer than a
    // millisecond plus one item.  A full pass costs about as much as a small
    // item; the clock read that stands in for it costs a few nanoseconds.
    void ProcessMessagesIfDue();
    // Handles pending events; when none is waiting, waits for one at most
    // maxWaitMs.  For polling loops that must not spin.
    void ProcessMessagesOrWait(int maxWaitMs);
    void Minimize();
    // Run ends once the running handler returns.
    void Terminate();
    bool Terminated() const { return terminated_; }

    std::string ExeName() const; // native bytes
    TForm *MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }
    Seam &seam() const { return seam_; }
    RuntimeGeneration generation() const { return generation_; }

private:
    void adopt(TForm *form);

    Seam &seam_;
    RuntimeGeneration generation_;
    bool terminated_ = false;
    std::chrono::steady_clock::time_point nextPass_{};
    std::vector<std::unique_ptr<TForm>> forms_;
};

// The one application object, as the runtime's global "Application".
extern TApplication *Application;
