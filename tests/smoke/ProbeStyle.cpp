// A style plugin that the smoke test loads into the real Forgeway executable
// (QT_PLUGIN_PATH and QT_STYLE_OVERRIDE=forgewayprobe).  It draws like Fusion.
// Once the event loop runs, it prints what the main window shows at start
//
//   caption=<window title>
//   version=<index of the checked item of RG> <its text>
//
// and ends the program, before the automatic search would begin.
#include <QApplication>
#include <QGroupBox>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStylePlugin>
#include <QTimer>
#include <cstdio>

namespace {

void report() {
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *group = window->findChild<QGroupBox *>(QStringLiteral("RG"));
        if (!group || !window->isVisible())
            continue;
        std::printf("caption=%s\n", qPrintable(window->windowTitle()));
        const auto items =
            group->findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
        for (qsizetype i = 0; i < items.size(); ++i)
            if (items[i]->isChecked())
                std::printf("version=%lld %s\n", static_cast<long long>(i),
                            qPrintable(items[i]->text()));
    }
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace

class ProbeStylePlugin : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "ProbeStyle.json")

public:
    QStyle *create(const QString &key) override {
        if (key.compare(QStringLiteral("forgewayprobe"), Qt::CaseInsensitive) != 0)
            return nullptr;
        QTimer::singleShot(0, qApp, report);
        return new QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
};

#include "ProbeStyle.moc"
