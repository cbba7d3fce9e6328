#include "forms/Unit1.h"

#include "components/FileFind.h"
#include "core/CompilerVersion.h"
#include "host/FileSearch.h"
#include "host/Process.h"
#include "runtime/Application.h"
#include "runtime/NativeText.h"
#include "runtime/OpenDialog.h"
#include "runtime/Seam.h"
#include "runtime/Timer.h"

TForm1 *Form1 = nullptr;

TForm1::TForm1() {
    setupUi(this);
    makeDialogFrame();
    Position = TPosition::poScreenCenter;
    if (Application->generation() == RuntimeGeneration::Delphi3)
        RG->SetItemIndex(0);

    OD = new TOpenDialog(this);
    OD->setObjectName(QStringLiteral("OD"));
    OD->FileName = QStringLiteral("DCC32.EXE");
    OD->Filter = QStringLiteral("DCC32|DCC32.EXE");

    FFind = new TFileFind(
        this, [this] { PumpDuringSearch(); }, [] { return Application->seam().driveRoots(); });
    FFind->setObjectName(QStringLiteral("FFind"));
    FFind->SetEnabled(false);
    FFind->SetSearch(QStringLiteral("DCC32.EXE"));
    FFind->OnSearch = [this](QObject *sender) { FFindSearch(sender); };
    // The search starts what it finds without asking: a compiler that anyone
    // else could have left in its place is passed over.
    FFind->AcceptMatch = [](const std::string &path) { return host::TrustedProgram(path); };

    Timer1 = new TTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->SetInterval(500);
    Timer1->SetOnTimer(std::bind_front(&TForm1::Timer1Timer, this));
    Timer1->SetEnabled(false);

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(SpeedButton1); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(Edit1); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
    OnActivate = std::bind_front(&TForm1::FormActivate, this);
    OnClose = std::bind_front(&TForm1::FormClose, this);
}

TForm1::~TForm1() {
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::SelectVersionBySize() {
    std::int64_t size = 0;
    if (!host::PathExists(toNative(Edit1->text()), host::faAnyFile, &size))
        return;
    if (const std::optional<int> versionIndex = kit::VersionIndexBySize(size))
        RG->SetItemIndex(*versionIndex);
}

void TForm1::SpeedButton1Click(QObject *) {
    FFind->SetEnabled(false); // stops a running search for good
    if (!OD->Execute())
        return;
    Edit1->setText(OD->FileName);
    SelectVersionBySize();
    BitBtn1->setEnabled(true);
}

void TForm1::Edit1Change(QObject *) {
    BitBtn1->setEnabled(true);
}
