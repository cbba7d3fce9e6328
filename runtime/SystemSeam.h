// The seam as the real program uses it: the host, the user and Qt.
#pragma once

#include "runtime/Seam.h"

class SystemSeam final : public Seam {
public:
    std::string exeName() override;
    std::uint32_t tickCount() override;
    host::StartResult startProcess(const std::string &program, const std::vector<std::string> &args,
                                   const host::OutputCapture *output) override;
    std::vector<std::string> driveRoots() override;
    void showMessage(QWidget *parent, const QString &text, const QString &details) override;
    bool confirm(QWidget *parent, const QString &text) override;
    void beep() override;
    std::optional<QString> openFile(QWidget *parent, const QString &initialName,
                                    const QString &filter) override;
    void terminate() override;
};
