#include "forms/Unit2.h"

#include "core/KitLayout.h"
#include "host/FileSearch.h"
#include "runtime/Application.h"
#include "runtime/Timer.h"

TForm2 *Form2 = nullptr;

namespace {

// The tick whose count reaches this closes the dialog whatever is on disk.
constexpr int LastCountBeforeTimeOut = 30;

} // namespace

TForm2::TForm2() {
    setupUi(this);
    makeDialogFrame();
    Position = TPosition::poScreenCenter;
    TUj = new TTimer(this);
    TUj->setObjectName(QStringLiteral("TUj"));
    TUj->SetEnabled(false);
    TUj->SetOnTimer(std::bind_front(&TForm2::TUjTimer, this));
    OnActivate = std::bind_front(&TForm2::FormActivate, this);
}

TForm2::~TForm2() {
    if (Form2 == this)
        Form2 = nullptr;
}

void TForm2::FormActivate(QObject *) {
    TUj->SetEnabled(true);
    TUj->Tag = 0;
}

bool TForm2::RanOut() const {
    return TUj->Tag > LastCountBeforeTimeOut;
}

void TForm2::TUjTimer(QObject *) {
    const std::string demoDir = kit::DemoDir(Application->ExeName());
    bool allPresent = true;
    for (const kit::DemoUnit &unit : kit::DemoUnitTable) {
        if (!host::PathExists(kit::DemoFile(demoDir, unit.compiled), host::faAnyFile)) {
            allPresent = false;
            break;
        }
    }
    if (allPresent || TUj->Tag >= LastCountBeforeTimeOut) {
        TUj->SetEnabled(false);
        Close();
    }
    TUj->Tag = TUj->Tag + 1;
    Form2->SetCaption(QStringLiteral("Wait [%1]").arg(TUj->Tag));
}
