// The About box, fomVersion, and its version line; the folder chooser, proOpenFolderDlg.
#include "modal_answer.h"
#include "spoken_names.h"
#include "version.h"

#include "platform/appicon.h"
#include "platform/folderdlg.h"
#include "platform/versionbox.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace kestrova::test {

namespace {

template <class T> T* child(QWidget* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void theVersionLineShowsMajorAndMinorOnly_data()
    {
        QTest::addColumn<QString>("fileVersion");
        QTest::addColumn<QString>("line");
        QTest::newRow("1.7.0.0") << QStringLiteral("1.7.0.0")
                                 << QStringLiteral("Kestrova for Linux Version 1.7");
        QTest::newRow("1.10.0.0: minor 10 is 10")
            << QStringLiteral("1.10.0.0") << QStringLiteral("Kestrova for Linux Version 1.10");
        QTest::newRow("leading zeros go")
            << QStringLiteral("01.07.3.4") << QStringLiteral("Kestrova for Linux Version 1.7");
        QTest::newRow("2.0.9.9") << QStringLiteral("2.0.9.9")
                                 << QStringLiteral("Kestrova for Linux Version 2.0");
    }
    void theVersionLineShowsMajorAndMinorOnly()
    {
        QFETCH(QString, fileVersion);
        QFETCH(QString, line);
        const platform::VersionRecord record{QStringLiteral("Kestrova for Linux"), fileVersion,
                                             QStringLiteral("(C)")};
        QCOMPARE(platform::composeVersionLine(record), line);
    }

    void theCompiledInRecordReads17()
    {
        const platform::VersionRecord record = platform::programVersionRecord();
        QCOMPARE(record.fileVersion, QStringLiteral("1.7.0.0"));
        QCOMPARE(platform::composeVersionLine(record),
                 QStringLiteral("Kestrova for Linux Version 1.7"));
    }

    void theBoxShowsIconLineAndCopyright_data()
    {
        QTest::addColumn<QString>("fileVersion");
        QTest::addColumn<QString>("line");
        QTest::newRow("1.7") << QStringLiteral("1.7.0.0")
                             << QStringLiteral("Kestrova for Linux Version 1.7");
        QTest::newRow("1.10") << QStringLiteral("1.10.0.0")
                              << QStringLiteral("Kestrova for Linux Version 1.10");
    }
    void theBoxShowsIconLineAndCopyright()
    {
        QFETCH(QString, fileVersion);
        QFETCH(QString, line);
        const platform::VersionRecord record{QStringLiteral("Kestrova for Linux"), fileVersion,
                                             QString::fromUtf8(kCopyright)};
        platform::VersionLineCache cache;
        platform::fomVersion box(record, cache);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.windowTitle(), QStringLiteral("Kestrova ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(child<QLabel>(&box, "Label1")->text(), line);
        QCOMPARE(child<QLabel>(&box, "Label2")->text(), QString::fromUtf8(kCopyright));
        const QPixmap icon = child<QLabel>(&box, "Image1")->pixmap();
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY(!icon.toImage().isNull());
        auto* exit = child<QPushButton>(&box, "cmdExit");
        QCOMPARE(exit->text(), QStringLiteral("戻る"));
        QVERIFY(exit->isDefault());
    }

    void theBoxShowsItsLinesWhole_data()
    {
        QTest::addColumn<int>("points");
        QTest::newRow("9 pt") << 9;
        QTest::newRow("12 pt") << 12;
    }
    void theBoxShowsItsLinesWhole()
    {
        QFETCH(int, points);
        const QFont before = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("IPAGothic"), points));
        platform::fomVersion box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto* line = child<QLabel>(&box, "Label1");
        auto* copyright = child<QLabel>(&box, "Label2");
        auto* image = child<QLabel>(&box, "Image1");
        auto* exit = child<QPushButton>(&box, "cmdExit");
        QVERIFY(line->width() >= line->sizeHint().width());
        QVERIFY(copyright->height() >= copyright->heightForWidth(copyright->width()));
        QVERIFY(exit->width() >= exit->sizeHint().width());
        const QWidget* const parts[] = {image, line, copyright, exit};
        for (const QWidget* a : parts) {
            QVERIFY(box.rect().contains(a->geometry()));
            for (const QWidget* b : parts)
                QVERIFY(a == b || !a->geometry().intersects(b->geometry()));
        }
        const QString folder = qEnvironmentVariable("KESTROVA_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            box.grab().save(QDir(folder).filePath(QStringLiteral("about-%1pt.png").arg(points)));
        QApplication::setFont(before);
    }

    void theLineIsComposedOnceForTheRun()
    {
        platform::VersionLineCache cache;
        const platform::VersionRecord first{QStringLiteral("Kestrova for Linux"),
                                            QStringLiteral("1.7.0.0"), QString()};
        const platform::VersionRecord later{QStringLiteral("Kestrova for Linux"),
                                            QStringLiteral("1.10.0.0"), QString()};
        QString shown[2];
        int i = 0;
        for (const auto* record : {&first, &later}) {
            platform::fomVersion box(*record, cache);
            shown[i++] = child<QLabel>(&box, "Label1")->text();
        }
        QCOMPARE(shown[0], QStringLiteral("Kestrova for Linux Version 1.7"));
        QCOMPARE(shown[1], shown[0]);
    }

    void enterEscAndTheCloseBoxEndTheBox_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("the close box") << 0;
    }
    void enterEscAndTheCloseBoxEndTheBox()
    {
        QFETCH(int, key);
        platform::fomVersion box;
        bool closedByKey = false;
        answerModal([&] { box.exec(); },
                    [&](QWidget* modal) {
                        if (key != 0)
                            QTest::keyClick(modal, Qt::Key(key));
                        else
                            modal->close();
                        closedByKey = true;
                    });
        QVERIFY(closedByKey);
        QVERIFY(!box.isVisible());
    }

    void everyControlHasANameAndADescriptionForScreenReaders()
    {
        platform::fomVersion box;
        int controls = 0;
        const QStringList unspoken = unspokenControls(&box, &controls);
        QCOMPARE(controls, 2); // the picture and 戻る; the two text lines speak their text
        QVERIFY2(unspoken.isEmpty(), qPrintable(unspoken.join(QStringLiteral("; "))));
    }

    void everySizeOfTheIconIsBuiltIn()
    {
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QPixmap picture = platform::appIconPixmap(size);
            QCOMPARE(picture.size(), QSize(size, size));
            // Drawn, not blank: the corner is clear and the middle is not.
            const QImage image = picture.toImage();
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 0);
        }
        QVERIFY(!platform::appIcon().isNull());
    }

    void theFolderChooserPreselectsAndAnswers_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void theFolderChooserPreselectsAndAnswers()
    {
        QFETCH(bool, accept);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("pgp")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("other")));
        const QString folder = QDir(root.path()).filePath(QStringLiteral("pgp"));
        QString result = QStringLiteral("untouched");
        ChooserView view;
        const QString title = answerModal(
            [&] {
                result = platform::proOpenFolderDlg(folder, QStringLiteral("選んで下さい"), nullptr,
                                                    0, 13);
            },
            [&](QWidget* modal) {
                view = answerFolderChooser(modal, accept ? QStringLiteral("other") : QString());
            });
        QCOMPARE(title, QStringLiteral("選んで下さい"));
        // Opened in the folder's parent, with the folder itself selected.
        QCOMPARE(view.directory, QDir(root.path()).absolutePath());
        QCOMPARE(view.selected, QStringList{folder});
        QCOMPARE(result, accept ? QDir(root.path()).filePath(QStringLiteral("other")) : QString());
    }
};

} // namespace kestrova::test

QTEST_MAIN(kestrova::test::PlatformTest)

#include "platform_test.moc"
