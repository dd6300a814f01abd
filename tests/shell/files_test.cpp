// Files: reading with the caption's status, the size cut, the open and save dialogs, writing
// back, and what a user sees when a file cannot be read or written.
#include "shell_support.h"

#include "engine/cp932.h"
#include "platform/comdlg.h"
#include "platform/qtext.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTextCursor>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

QString dataFile(const char* name)
{
    return QFileInfo(QStringLiteral(KESTROVA_TEST_DATA "/") + QLatin1String(name))
        .canonicalFilePath();
}

struct SeenDialog
{
    QString title;
    QString folder;
    QStringList proposed;
    QStringList filters;
    QString filter;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen;
    bool confirmsOverwrite = true;
};

// Records the dialog, then chooses path (cancels when it is empty), with filter chosen when
// given.
ModalDriver::FileAction choose(SeenDialog& seen, const QString& path, const QString& filter = {})
{
    return [&seen, path, filter](QFileDialog* dialog) {
        seen.title = dialog->windowTitle();
        seen.folder = dialog->directory().absolutePath();
        seen.proposed = dialog->selectedFiles();
        seen.filters = dialog->nameFilters();
        seen.filter = dialog->selectedNameFilter();
        seen.mode = dialog->fileMode();
        seen.accept = dialog->acceptMode();
        seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        if (!filter.isEmpty())
            dialog->selectNameFilter(filter);
        // The dialog lists folders in the background; a file chosen before its folder is
        // listed does not stay chosen. Go to the folder, let it be listed, then choose.
        // A folder that does not exist cannot be gone to; a user types the whole path then.
        const bool folderExists = QFileInfo(QFileInfo(path).absolutePath()).isDir();
        if (folderExists)
            dialog->setDirectory(QFileInfo(path).absolutePath());
        const bool chosen = QTest::qWaitFor(
            [&] {
                // selectFile leaves the name field alone while it has the focus, which it has
                // or not depending on how the dialog came up: type the name there, as a user.
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(folderExists ? QFileInfo(path).fileName() : path);
                return dialog->selectedFiles() == QStringList{path};
            },
            3000);
        if (!chosen)
            qWarning("the file dialog did not take %s", qPrintable(path));
        static_cast<QDialog*>(dialog)->accept(); // the file dialog's own checks run
    };
}

} // namespace

class FilesTest : public QObject
{
    Q_OBJECT

private slots:
    void theCaptionShowsTheCodeAndLineEnds_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("convMode");
        QTest::addColumn<QString>("status");
        QTest::newRow("JIS, LF") << dataFile("mail-jis-lf.txt") << 1 << QStringLiteral("  JIS:LF");
        QTest::newRow("EUC, LF") << dataFile("mail-euc-lf.txt") << 1 << QStringLiteral("  EUC:LF");
        QTest::newRow("Shift_JIS, CR")
            << dataFile("mail-sjis-cr.txt") << 1 << QStringLiteral("  :CR");
        QTest::newRow("Shift_JIS, CR LF") << dataFile("mail-sjis-crlf.txt") << 1 << QString();
        QTest::newRow("UTF-8, LF")
            << dataFile("mail-utf8-lf.txt") << 1 << QStringLiteral("  UTF-8:LF");
        QTest::newRow("JIS without conversion") << dataFile("mail-jis-lf.txt") << 0 << QString();
        // Plain ASCII has no code of its own: it is this platform's text code.
        QTest::newRow("ASCII, LF")
            << QStringLiteral("ascii-lf.txt") << 1 << QStringLiteral("  UTF-8:LF");
        QTest::newRow("ASCII, CR LF")
            << QStringLiteral("ascii-crlf.txt") << 1 << QStringLiteral("  UTF-8");
        QTest::newRow("empty") << QStringLiteral("empty.txt") << 1 << QStringLiteral("  UTF-8");
    }

    void theCaptionShowsTheCodeAndLineEnds()
    {
        QFETCH(QString, file);
        QFETCH(int, convMode);
        QFETCH(QString, status);
        Sandbox sandbox;
        const std::pair<QString, QByteArray> madeHere[] = {
            {QStringLiteral("ascii-lf.txt"), "Subject: hello\n\n-- \nsig\n"},
            {QStringLiteral("ascii-crlf.txt"), "Subject: hello\r\n"},
            {QStringLiteral("empty.txt"), ""}};
        for (const auto& [name, bytes] : madeHere) {
            if (file == name) {
                file = sandbox.path(name);
                Sandbox::writeFile(file, bytes);
            }
        }
        setClipboard(QString());
        auto w = startWindow(sandbox);
        ShellTestAccess::record(*w).ConvMode = convMode;
        QVERIFY(ShellTestAccess::FileRead(*w, file));
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova  - ") + file + status);
        QCOMPARE(ShellTestAccess::CurrentFile(*w), file);
        const bool escapes = w->boxText().find(u'\x1b') != std::u16string::npos;
        QCOMPARE(escapes, convMode == 0);
    }

    void theShownTextIsCutAt16383Characters_data()
    {
        QTest::addColumn<int>("characters");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("percent");
        QTest::newRow("16383 characters") << 16383 << 16383 << 0;
        QTest::newRow("16384 characters") << 16384 << 16383 << 99;
        QTest::newRow("20000 characters") << 20000 << 16383 << 81;
    }

    void theShownTextIsCutAt16383Characters()
    {
        QFETCH(int, characters);
        QFETCH(int, shown);
        QFETCH(int, percent);
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("big.txt"));
        Sandbox::writeFile(file, QString(characters, QChar(u'あ')).toUtf8());
        setClipboard(QString());
        ModalDriver driver;
        auto w = startWindow(sandbox, file);
        QCOMPARE(w->boxText().size(), std::size_t(shown));
        if (percent == 0) {
            QCOMPARE(driver.boxes().size(), std::size_t(0));
            return;
        }
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].text,
                 QStringLiteral("ｻｲｽﾞが大きいので %1％しか表示できません").arg(percent));
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
    }

    void aFileThatCannotBeReadKeepsTheText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("vanished") << QStringLiteral("vanished.txt");
        QTest::newRow("not text") << QStringLiteral("binary.txt");
    }

    void aFileThatCannotBeReadKeepsTheText()
    {
        QFETCH(QString, name);
        Sandbox sandbox;
        QDir().mkpath(sandbox.path(QStringLiteral("folder")));
        Sandbox::writeFile(sandbox.path(QStringLiteral("binary.txt")), "ok\x80\xff\xfe");
        setClipboard(QStringLiteral("the text"));
        auto w = startWindow(sandbox);
        ModalDriver driver;
        QVERIFY(!ShellTestAccess::FileRead(*w, sandbox.path(name)));
        QCOMPARE(w->boxText(), std::u16string(u"the text"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova"));
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
        QVERIFY(driver.boxes()[0].text.contains(sandbox.path(name)));
    }

    void ctrlOOpensTheChosenFileAndCopiesIt()
    {
        Sandbox sandbox;
        const QString first = sandbox.path(QStringLiteral("first.txt"));
        const QString second = sandbox.path(QStringLiteral("second.txt"));
        Sandbox::writeFile(first, "one");
        Sandbox::writeFile(second, "two");
        setClipboard(QString());
        auto w = startWindow(sandbox, first);
        w->show();
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, second));
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(driver.fileDialogs(), 1);
        QCOMPARE(seen.title, QStringLiteral("入力ﾌｧｲﾙの指定"));
        QCOMPARE(seen.folder, QFileInfo(first).absolutePath());
        QCOMPARE(seen.proposed, QStringList{first});
        QCOMPARE(seen.mode, QFileDialog::ExistingFile);
        QCOMPARE(seen.accept, QFileDialog::AcceptOpen);
        QCOMPARE(seen.filters, (QStringList{QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt) (*.txt)"),
                                            QStringLiteral("全てのﾌｧｲﾙ(*.*) (*)")}));
        QCOMPARE(w->boxText(), std::u16string(u"two"));
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Kestrova  - ") + second + QStringLiteral("  UTF-8"));
        QCOMPARE(clipboard(), QStringLiteral("two"));
        QCOMPARE(ShellTestAccess::CurrentFile(*w), second);
    }

    void cancellingTheOpenDialogChangesNothing()
    {
        Sandbox sandbox;
        const QString first = sandbox.path(QStringLiteral("first.txt"));
        Sandbox::writeFile(first, "one");
        auto w = startWindow(sandbox, first);
        w->show();
        setClipboard(QStringLiteral("clip"));
        ModalDriver driver;
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(driver.fileDialogs(), 1);
        QCOMPARE(w->boxText(), std::u16string(u"one"));
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Kestrova  - ") + first + QStringLiteral("  UTF-8"));
        QCOMPARE(clipboard(), QStringLiteral("clip"));
    }

    // Text from the clipboard is written as the programs here read text: UTF-8, LF.
    void ctrlSWritesClipboardTextAsUtf8WithLfAndReplacesTheWholeFile()
    {
        Sandbox sandbox;
        const QString target = sandbox.path(QStringLiteral("out.txt"));
        Sandbox::writeFile(target, QByteArray(1000, 'z'));
        setClipboard(QStringLiteral("一行目\n二行目"));
        auto w = startWindow(sandbox);
        w->show();
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, target));
        driver.answerNext(QMessageBox::Yes);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(seen.title, QStringLiteral("出力ﾌｧｲﾙの指定"));
        QCOMPARE(seen.accept, QFileDialog::AcceptSave);
        QVERIFY(!seen.confirmsOverwrite); // the window asks, knowing the text's own file
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(driver.boxes()[0].text.contains(target));
        QCOMPARE(driver.boxes()[0].defaultButton, QMessageBox::No); // Enter loses no file
        QCOMPARE(Sandbox::readFile(target), QStringLiteral("一行目\n二行目").toUtf8());
        QCOMPARE(ShellTestAccess::CurrentFile(*w), target);
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova"));
    }

    void savingOverAnotherFileAsksAndNoKeepsIt()
    {
        Sandbox sandbox;
        const QString target = sandbox.path(QStringLiteral("someone else's.txt"));
        Sandbox::writeFile(target, "keep me");
        setClipboard(QStringLiteral("new text"));
        auto w = startWindow(sandbox);
        w->show();
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, target));
        driver.answerNext(QMessageBox::No);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(Sandbox::readFile(target), QByteArray("keep me"));
    }

    void savingUnderTheNameItWasReadFromKeepsUtf8AndLf()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("utf8.txt"));
        Sandbox::writeFile(file, "かな\nabc\n");
        auto w = startWindow(sandbox, file);
        w->show();
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_X);
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, file));
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(Sandbox::readFile(file), QByteArray("xかな\nabc\n"));
        QCOMPARE(driver.boxes().size(), std::size_t(0)); // its own file: no question
    }

    void anEmptyTextMakesAnEmptyFile()
    {
        Sandbox sandbox;
        const QString target = sandbox.path(QStringLiteral("empty.txt"));
        setClipboard(QString());
        auto w = startWindow(sandbox);
        w->show();
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, target));
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFileInfo(target).isFile());
        QCOMPARE(QFileInfo(target).size(), 0);
    }

    // A file read in a legacy code is saved in that code and with its line ends, whatever
    // the name: the program that reads it expects its own format back.
    void aFileIsSavedInItsOwnCodeUnderAnyName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("EUC-JP, LF") << QStringLiteral("mail-euc-lf.txt");
        QTest::newRow("ISO-2022-JP, LF") << QStringLiteral("mail-jis-lf.txt");
        QTest::newRow("Shift_JIS, CR LF") << QStringLiteral("mail-sjis-crlf.txt");
        QTest::newRow("UTF-8, LF") << QStringLiteral("mail-utf8-lf.txt");
    }

    void aFileIsSavedInItsOwnCodeUnderAnyName()
    {
        QFETCH(QString, name);
        Sandbox sandbox;
        const QString source = QStringLiteral(KESTROVA_TEST_DATA "/") + name;
        const QString target = sandbox.path(QStringLiteral("copy.txt"));
        auto w = startWindow(sandbox, source);
        w->show();
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, target));
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(driver.boxes().size(), std::size_t(0)); // a new name: no question
        QCOMPARE(Sandbox::readFile(target), Sandbox::readFile(source));
    }

    void aCharacterTheFilesCodeCannotHoldIsRefusedAndTheFileKept()
    {
        Sandbox sandbox;
        const QString source = sandbox.path(QStringLiteral("sjis.txt"));
        Sandbox::writeFile(source, QByteArray::fromStdString(*engine::toCp932(u"本文\r\n")));
        const QString target = sandbox.path(QStringLiteral("old.txt"));
        Sandbox::writeFile(target, "old contents");
        auto w = startWindow(sandbox, source);
        w->show();
        ShellTestAccess::txtData(*w)->moveCursor(QTextCursor::End);
        ShellTestAccess::txtData(*w)->insertPlainText(QStringLiteral("絵文字😀"));
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, target));
        driver.answerNext(QMessageBox::Yes);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(driver.boxes().size(), std::size_t(2));
        QCOMPARE(driver.boxes()[1].icon, QMessageBox::Critical);
        QVERIFY(driver.boxes()[1].text.contains(target));
        QVERIFY2(driver.boxes()[1].text.contains(QStringLiteral("U+1F600")),
                 qPrintable(driver.boxes()[1].text));
        QCOMPARE(Sandbox::readFile(target), QByteArray("old contents"));
        QCOMPARE(w->boxText(), std::u16string(u"本文\r\n絵文字😀"));
    }

    void theDialogKeepsTheChosenFileType()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("notes.md"));
        Sandbox::writeFile(file, "x");
        platform::clsComDlg dialog;
        dialog.Filter = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)|*.txt|全てのﾌｧｲﾙ(*.*)|*.*");
        dialog.Flags = platform::kOpenDialogFlags;
        dialog.FilterIndex = 2;
        dialog.FileName = file;
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, file, QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt) (*.txt)")));
        dialog.Action(1);
        QVERIFY(seen.filter.startsWith(QStringLiteral("全てのﾌｧｲﾙ(*.*)")));
        QCOMPARE(dialog.FileName, file);
        QCOMPARE(dialog.FilterIndex, 1);

        dialog.FilterIndex = 2;
        driver.onNextFileDialog(choose(seen, {}));
        dialog.Action(2);
        QCOMPARE(dialog.FileName, QString());
        QCOMPARE(dialog.FilterIndex, 2); // a cancelled dialog changes no type

        dialog.FileName = file;
        dialog.Action(3); // no such dialog
        QCOMPARE(dialog.FileName, file);
        QCOMPARE(driver.fileDialogs(), 2);
    }

    void aSaveIntoAFolderThatIsGoneIsRefusedByTheDialog()
    {
        Sandbox sandbox;
        platform::clsComDlg dialog;
        dialog.Flags = platform::kSaveDialogFlags;
        SeenDialog seen;
        ModalDriver driver;
        driver.onNextFileDialog(choose(seen, sandbox.path(QStringLiteral("gone/new.txt"))));
        driver.onNextFileDialog(choose(seen, {}));
        dialog.Action(2);
        QCOMPARE(driver.fileDialogs(), 2);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(dialog.FileName, QString());
    }
};

std::unique_ptr<QObject> makeFilesTest() { return std::make_unique<FilesTest>(); }

} // namespace kestrova::test

#include "files_test.moc"
