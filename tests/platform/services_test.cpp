// The program's own files found from its folder, Qt's texts in Japanese, and the check of the
// text's face against the ruler's columns, with real folders, the installed translation and
// real fonts.
#include "platform/fonts.h"
#include "platform/programfiles.h"
#include "platform/translation.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <utility>

namespace kestrova::test {

namespace {

void makeProgram(const QString& path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

bool hasJapanese(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
}

} // namespace

class ServicesTest : public QObject
{
    Q_OBJECT

private slots:
    void theHelperIsFoundWhereItWasInstalledOrBesideTheProgram_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        const QString installed = QStringLiteral("lib/kestrova/kestrova-command");
        const QString beside = QStringLiteral("bin/kestrova-command");
        QTest::newRow("installed tree") << QStringList{installed} << installed;
        QTest::newRow("build tree: beside the program") << QStringList{beside} << beside;
        QTest::newRow("both: the installed one wins")
            << QStringList{installed, beside} << installed;
        QTest::newRow("neither: the installed place is named") << QStringList{} << installed;
    }

    void theHelperIsFoundWhereItWasInstalledOrBesideTheProgram()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        for (const QString& name : present)
            makeProgram(prefix.filePath(name));
        QCOMPARE(platform::helperProgram(prefix.filePath(QStringLiteral("bin")),
                                         QStringLiteral("kestrova-command")),
                 prefix.filePath(found));
    }

    void aHelperThatCannotRunIsPassedOver()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("lib/kestrova")));
        QFile stale(prefix.filePath(QStringLiteral("lib/kestrova/kestrova-command")));
        QVERIFY(stale.open(QIODevice::WriteOnly)); // not executable
        stale.close();
        makeProgram(prefix.filePath(QStringLiteral("bin/kestrova-command")));
        QCOMPARE(platform::helperProgram(prefix.filePath(QStringLiteral("bin")),
                                         QStringLiteral("kestrova-command")),
                 prefix.filePath(QStringLiteral("bin/kestrova-command")));
    }

    void theDataFolderIsFoundFromTheProgramsFolder()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        // Not there: the configured folder, whatever it is, but not one of this tree.
        QVERIFY(!platform::installedDataDir(bin).startsWith(prefix.path()));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/kestrova")));
        QCOMPARE(platform::installedDataDir(bin),
                 prefix.filePath(QStringLiteral("share/kestrova")));
    }

    void qtsStandardButtonsSpeakJapanese()
    {
        const std::pair<QMessageBox::StandardButton, QString> buttons[] = {
            {QMessageBox::Yes, QStringLiteral("&Yes")},
            {QMessageBox::No, QStringLiteral("&No")},
            {QMessageBox::Cancel, QStringLiteral("Cancel")},
            {QMessageBox::Save, QStringLiteral("Save")},
            {QMessageBox::Close, QStringLiteral("Close")},
        };
        const auto caption = [](QMessageBox::StandardButton which) {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrova"), QStringLiteral("?"),
                            which);
            return box.button(which)->text();
        };
        // English first, as every Qt program here has them under any locale.
        for (const auto& [which, english] : buttons)
            QCOMPARE(caption(which), english);
        QVERIFY(platform::installQtTranslation(*QCoreApplication::instance()));
        for (const auto& [which, english] : buttons) {
            const QString text = caption(which);
            QVERIFY2(text != english && hasJapanese(text), qPrintable(english + " " + text));
        }
    }

    void theFileDialogSpeaksJapaneseToo()
    {
        QVERIFY(platform::installQtTranslation(*QCoreApplication::instance()));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const QString label = dialog.labelText(QFileDialog::FileName);
        QVERIFY2(hasJapanese(label), qPrintable(label));
    }

    void aFaceIsCheckedForTwoColumnFullWidth_data()
    {
        QTest::addColumn<QString>("face");
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("twoColumns");
        QTest::newRow("IPAGothic 9 pt") << QStringLiteral("IPAGothic") << 9 << true;
        QTest::newRow("IPAGothic 12 pt") << QStringLiteral("IPAGothic") << 12 << true;
        QTest::newRow("the default face, through its substitute")
            << QString::fromUtf16(platform::kDesignedFace) << 9 << true;
        QTest::newRow("proportional Latin") << QStringLiteral("DejaVu Sans") << 9 << false;
        QTest::newRow("monospaced Latin, kana from elsewhere")
            << QStringLiteral("DejaVu Sans Mono") << 9 << false;
        QTest::newRow("proportional Japanese") << QStringLiteral("IPAPGothic") << 9 << false;
    }

    void aFaceIsCheckedForTwoColumnFullWidth()
    {
        QFETCH(QString, face);
        QFETCH(int, points);
        QFETCH(bool, twoColumns);
        const QFont font = platform::textFont(face, points);
        QCOMPARE(platform::drawsFullWidthAsTwoColumns(font), twoColumns);
        QCOMPARE(platform::warnWhenColumnsDrift(nullptr, font) != nullptr, !twoColumns);
        for (QWidget* top : QApplication::topLevelWidgets())
            top->close();
    }
};

} // namespace kestrova::test

QTEST_MAIN(kestrova::test::ServicesTest)

#include "services_test.moc"
