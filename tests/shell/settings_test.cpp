// The settings file as the window reads it at start-up and writes it at exit, byte for byte.
#include "shell_support.h"

#include "engine/cp932.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

QByteArray sjis(std::u16string_view text)
{
    const auto bytes = engine::toCp932(text);
    return QByteArray::fromStdString(*bytes);
}

// Every key, in the order the file is written, none at a default that would be left out.
QByteArray fullFile(int state)
{
    QByteArray file = "[Settings]\r\nTop=1500\r\nLeft=3000\r\nHeight=4500\r\nWidth=9000\r\n";
    file += "State=" + QByteArray::number(state) + "\r\n";
    file += "Columns=64\r\nInyofu=" + sjis(u"＞>") + "\r\nChgMode=1\r\nKinsoku=1\r\n";
    file += "EnterMes=" + sjis(u"（改行）") + "\r\nFontName=IPAGothic\r\nFontSize=12\r\n";
    file += "PgpFlg=1\r\nPgpVer=2\r\nEncryptMode=1\r\nJisConvMode=0\r\nViewMini=1\r\n";
    file += "EnvSize=4096\r\nPgpPath=/home/u/.gnupg\r\nTimeZone=JST-9\r\nUserID=u@example.jp\r\n";
    file += "PassPhrase=oi@[]{E7V}c\r\n"; // "open sesame", scrambled
    file += "ConvMode=0\r\nUserList=a@example.jp\r\nUserList=b@example.jp\r\n";
    return file;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void aFirstRunWritesTheDefaultsAndTheCentredWindow()
    {
        Sandbox sandbox;
        setClipboard(QString());
        {
            auto w = startWindow(sandbox);
            w->showAsLoaded();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
            QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
            w->close();
        }
        const QList<QByteArray> lines = Sandbox::readFile(sandbox.iniPath()).split('\n');
        QCOMPARE(lines.size(), 15); // 14 lines and the empty rest after the last line end
        QCOMPARE(lines.last(), QByteArray());
        const char* const keys[] = {
            "[Settings]", "Top=",       "Left=",      "Height=3870", "Width=7095",
            "State=0",    "Columns=70", "Inyofu=",    "ChgMode=2",   "Kinsoku=0",
            "EnterMes=",  "FontName=",  "FontSize=9", "ConvMode=1"};
        for (int i = 0; i < 14; ++i) {
            QVERIFY2(lines[i].endsWith('\r'), lines[i].constData());
            QVERIFY2(lines[i].startsWith(keys[i]), lines[i].constData());
        }
        QCOMPARE(lines[7], "Inyofu=" + sjis(u"≫＞>》〉｜|") + "\r");
        QVERIFY(QFileInfo(sandbox.iniPath()).permissions() ==
                (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                 QFileDevice::WriteUser));
    }

    void everySettingComesBackByteForByte_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << 0;
        QTest::newRow("maximised keeps the normal geometry") << 2;
    }

    void everySettingComesBackByteForByte()
    {
        QFETCH(int, state);
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), fullFile(state));
        setClipboard(QString());
        auto w = startWindow(sandbox);
        QCOMPARE(ShellTestAccess::record(*w).PassPhrase, std::u16string(u"open sesame"));
        QCOMPARE(ShellTestAccess::record(*w).Columns, 64);
        w->showAsLoaded();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->isMaximized(), state == 2);
        w->close();
        QCOMPARE(Sandbox::readFile(sandbox.iniPath()), fullFile(state));
    }

    void aWindowMaximisedWhileRunningSavesItsNormalGeometry()
    {
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), fullFile(0));
        setClipboard(QString());
        auto w = startWindow(sandbox);
        w->showAsLoaded();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->showMaximized();
        QTRY_VERIFY(w->isMaximized());
        w->close();
        QCOMPARE(Sandbox::readFile(sandbox.iniPath()), fullFile(2));
    }

    void aChangedSettingIsSavedAtExit()
    {
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nInyofu=  >  \r\n");
        setClipboard(QStringLiteral(">a"));
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdInyoDel(*w)->click();
        w->close();
        QVERIFY(Sandbox::readFile(sandbox.iniPath()).contains("\r\nInyofu=>\r\n"));
    }

    void aSettingsFileBesideTheProgramIsUsed()
    {
        Sandbox sandbox;
        const QString portable = sandbox.programDir() + QStringLiteral("/Kestrova.ini");
        Sandbox::writeFile(portable, "[Settings]\r\nColumns=80\r\n");
        setClipboard(QString());
        auto w = startWindow(sandbox);
        QCOMPARE(ShellTestAccess::IniFile(*w), portable);
        QCOMPARE(ShellTestAccess::record(*w).Columns, 80);
        QCOMPARE(ShellTestAccess::record(*w).Kinsoku, 0);
        w->close();
        QVERIFY(!QFileInfo::exists(sandbox.iniPath()));
        QVERIFY(Sandbox::readFile(portable).contains("\r\nColumns=80\r\n"));
    }

    void aFileThatIsNotReadWholeIsKeptBesideTheNewOne_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("bytes that are no text")
            << QByteArray("[Settings]\r\nColumns=80\r\nUserID=\x80\xff\r\n");
        QTest::newRow("a number that is none") << QByteArray("[Settings]\r\nColumns=eighty\r\n");
        // The next exit rewrites the file without it: the user hears of it once.
        QTest::newRow("a last line without a line end")
            << QByteArray("[Settings]\r\nColumns=80\r\nKinsoku=1");
        QTest::newRow("32768 bytes") << QByteArray("[Settings]\r\n") + QByteArray(32768, 'x');
    }

    void aFileThatIsNotReadWholeIsKeptBesideTheNewOne()
    {
        QFETCH(QByteArray, old);
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), old);
        setClipboard(QString());
        ModalDriver driver;
        auto w = startWindow(sandbox);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(driver.boxes()[0].text.contains(sandbox.iniPath()));
        w->close();
        QCOMPARE(Sandbox::readFile(sandbox.iniPath() + QStringLiteral(".bak")), old);
        QVERIFY(Sandbox::readFile(sandbox.iniPath()).startsWith("[Settings]\r\nTop="));
    }

    // Thousands of damaged lines must not make a box taller than the screen.
    void manyDamagedLinesAreCountedNotAllListed()
    {
        Sandbox sandbox;
        QByteArray old("[Settings]\r\n");
        for (int i = 0; i < 1500; ++i) // well inside the file's 32768 bytes
            old += "FontSize=x\r\n";
        Sandbox::writeFile(sandbox.iniPath(), old);
        setClipboard(QString());
        ModalDriver driver;
        auto w = startWindow(sandbox);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        const QString text = driver.boxes()[0].text;
        QVERIFY2(text.contains(QStringLiteral("2, 3, 4, 5, 6, 7, 8, 9, 10, 11 行目、ほか 1490 行")),
                 qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral(", 12")));
        QVERIFY(text.contains(sandbox.iniPath()));
        w->close();
        QCOMPARE(Sandbox::readFile(sandbox.iniPath() + QStringLiteral(".bak")), old);
    }

    void tenDamagedLinesAreAllListed()
    {
        Sandbox sandbox;
        QByteArray old("[Settings]\r\n");
        for (int i = 0; i < 10; ++i)
            old += "FontSize=x\r\n";
        Sandbox::writeFile(sandbox.iniPath(), old);
        setClipboard(QString());
        ModalDriver driver;
        auto w = startWindow(sandbox);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY2(driver.boxes()[0].text.contains(
                     QStringLiteral("2, 3, 4, 5, 6, 7, 8, 9, 10, 11 行目を読めませんでした")),
                 qPrintable(driver.boxes()[0].text));
    }

    // Whatever size and place the file gives, the window opens within the screen.
    void theWindowOpensWithinTheScreen_data()
    {
        QTest::addColumn<QByteArray>("geometry");
        QTest::newRow("larger than the screen") << QByteArray("Width=32000\r\nHeight=32000\r\n");
        QTest::newRow("hanging off the right edge")
            << QByteArray("Left=9000\r\nTop=0\r\nWidth=7095\r\nHeight=3870\r\n");
        QTest::newRow("far off every screen")
            << QByteArray("Left=30000\r\nTop=30000\r\nWidth=7095\r\nHeight=3870\r\n");
    }

    void theWindowOpensWithinTheScreen()
    {
        QFETCH(QByteArray, geometry);
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\n" + geometry);
        setClipboard(QString());
        auto w = startWindow(sandbox);
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(available.contains(w->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                   .arg(w->x())
                                                                   .arg(w->y())
                                                                   .arg(w->width())
                                                                   .arg(w->height())));
        QVERIFY(w->width() >= 400);
    }

    void aSettingsFileThatCannotBeWrittenStillLetsTheWindowClose()
    {
        Sandbox sandbox;
        // The settings folder's name is taken by a file: the settings cannot be saved.
        Sandbox::writeFile(sandbox.configDir(), "not a folder");
        setClipboard(QString());
        ModalDriver driver;
        auto w = startWindow(sandbox);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(Sandbox::readFile(sandbox.configDir()), QByteArray("not a folder"));
    }
};

std::unique_ptr<QObject> makeSettingsTest() { return std::make_unique<SettingsTest>(); }

} // namespace kestrova::test

#include "settings_test.moc"
