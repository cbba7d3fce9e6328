// A private copy of the sample kit's sources (Demo, Delphi-3 and Delphi-4 with
// their Pascal files) in a temporary folder, for the tests that run the
// stand-in compiler with Free Pascal behind it.  Needs KIT_SOURCE_DIR.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#ifndef KIT_SOURCE_DIR
#error "KIT_SOURCE_DIR must name the kit's source folder"
#endif

// The six units of the demo, in the order they are compiled.
inline const QStringList KitUnits{"Cove", "Fable", "Mint", "Orb", "Quillset", "Brook"};

class KitSources {
public:
    KitSources() {
        const QRegularExpression source(QStringLiteral("\\.(pas|dpr|pp|inc)$"),
                                        QRegularExpression::CaseInsensitiveOption);
        for (const QString folder : {"Demo", "Delphi-3", "Delphi-4"}) {
            QDir(dir_.path()).mkpath(folder);
            QDirIterator it(QStringLiteral(KIT_SOURCE_DIR "/") + folder, QDir::Files);
            while (it.hasNext()) {
                it.next();
                if (source.match(it.fileName()).hasMatch())
                    QFile::copy(it.filePath(), path(folder + "/" + it.fileName()));
            }
        }
    }

    QString path(const QString &rel) const { return dir_.filePath(rel); }
    QString demo(const QString &name) const { return path(QStringLiteral("Demo/") + name); }
    bool exists(const QString &rel) const { return QFileInfo::exists(path(rel)); }
    // The units whose .DCU is in Demo, in compile order.
    QStringList compiledUnits() const {
        QStringList present;
        for (const QString &unit : KitUnits)
            if (exists("Demo/" + unit + ".DCU"))
                present << unit;
        return present;
    }
    // Puts a line that is not Pascal right after the unit's "implementation".
    bool breakUnit(const QString &unit) const {
        QFile file(demo(unit + ".Pas"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QByteArray text = file.readAll();
        file.close();
        const qsizetype at = text.indexOf("implementation");
        if (at < 0)
            return false;
        text.insert(at + qsizetype(strlen("implementation")), "\n  this is not Pascal at all;\n");
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(text) == text.size();
    }

private:
    QTemporaryDir dir_;
};
