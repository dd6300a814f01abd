// What a screen reader is told of the main window, read through Qt's accessibility interfaces
// (the same ones its AT-SPI bridge serves), and the warning about a face whose full-width
// characters are not two columns wide.
#include "shell_support.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include <map>

namespace kestrova::test {

namespace {

QAccessibleInterface* accessible(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    if (iface == nullptr)
        qFatal("no accessible interface for %s", object->metaObject()->className());
    return iface;
}

QList<QMessageBox*> driftWarnings()
{
    QList<QMessageBox*> found;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(top);
            box && box->objectName() == QStringLiteral("columnsDriftWarning") && box->isVisible())
            found.push_back(box);
    }
    return found;
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void everyControlHasAJapaneseNameAndADescription_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("text box") << "txtData" << QStringLiteral("本文");
        QTest::newRow("read") << "cmdRead" << QStringLiteral("読み直す");
        QTest::newRow("unquote, caption (<)") << "cmdInyoDel" << QStringLiteral("引用を外す");
        QTest::newRow("quote, caption (>)") << "cmdInyoAdd" << QStringLiteral("引用する");
        QTest::newRow("align") << "cmdUpdate" << QStringLiteral("そろえる");
        QTest::newRow("exit") << "cmdExit" << QStringLiteral("終了");
        QTest::newRow("settings") << "cmdSetup" << QStringLiteral("設定");
        QTest::newRow("kana, caption ｶﾅ>カナ")
            << "cmdHanToZen" << QStringLiteral("半角カナを全角に");
        QTest::newRow("decrypt") << "cmdPGPCheck" << QStringLiteral("復号化");
        QTest::newRow("key add") << "cmdPGPKeyAdd" << QStringLiteral("鍵追加");
        QTest::newRow("ruler handle") << "cmdGage" << QStringLiteral("桁数のつまみ");
        QTest::newRow("ruler scale") << "lblGage" << QStringLiteral("目盛り");
    }

    void everyControlHasAJapaneseNameAndADescription()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        using A = shell::ShellTestAccess;
        const std::map<QString, QWidget*> controls = {
            {"txtData", A::txtData(*w)},         {"cmdRead", A::cmdRead(*w)},
            {"cmdInyoDel", A::cmdInyoDel(*w)},   {"cmdInyoAdd", A::cmdInyoAdd(*w)},
            {"cmdUpdate", A::cmdUpdate(*w)},     {"cmdExit", A::cmdExit(*w)},
            {"cmdSetup", A::cmdSetup(*w)},       {"cmdHanToZen", A::cmdHanToZen(*w)},
            {"cmdPGPCheck", A::cmdPGPCheck(*w)}, {"cmdPGPKeyAdd", A::cmdPGPKeyAdd(*w)},
            {"cmdGage", A::cmdGage(*w)},         {"lblGage", A::lblGage(*w)},
        };
        QAccessibleInterface* iface = accessible(controls.at(control));
        QCOMPARE(iface->text(QAccessible::Name), name);
        QVERIFY2(!iface->text(QAccessible::Description).isEmpty(), qPrintable(control));
    }

    void theTopLevelIsAWindowNamedByItsCaption()
    {
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        QAccessibleInterface* iface = accessible(w.get());
        QCOMPARE(iface->role(), QAccessible::Window);
        QCOMPARE(iface->text(QAccessible::Name), w->windowTitle());
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
    }

    void theRulerIsASliderWhoseValueIsTheColumnCount()
    {
        Sandbox sandbox;
        auto w = startWindow(sandbox);
        QAccessibleInterface* iface = accessible(shell::ShellTestAccess::picGage(*w));
        QCOMPARE(iface->role(), QAccessible::Slider);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("桁数"));
        QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("70"));
        QAccessibleValueInterface* value = iface->valueInterface();
        QVERIFY(value != nullptr);
        QCOMPARE(value->currentValue().toInt(), 70);

        // A value set by a screen reader sets Columns, as a drop of the handle does.
        value->setCurrentValue(62);
        QCOMPARE(shell::ShellTestAccess::record(*w).Columns, 62);
        QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("62"));
        QCOMPARE(value->currentValue().toInt(), 62);
    }

    void theAlignButtonIsNamedForWhatItDoesNow()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("あいうえおかきくけこさしすせそたちつてと"
                                    "なにぬねのはひふへほまみむめもやゆよらりるれろわをん"
                                    "あいうえおかきくけこ"));
        auto w = startWindow(sandbox);
        QAccessibleInterface* align = accessible(shell::ShellTestAccess::cmdUpdate(*w));
        shell::ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(shell::ShellTestAccess::UndoCmd(*w), 1);
        QCOMPARE(align->text(QAccessible::Name), QStringLiteral("元に戻す"));
        shell::ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(shell::ShellTestAccess::UndoCmd(*w), 0);
        QCOMPARE(align->text(QAccessible::Name), QStringLiteral("そろえる"));
    }

    void aFaceWithoutTwoColumnFullWidthIsNamedOnceAtStart_data()
    {
        QTest::addColumn<QByteArray>("face");
        QTest::addColumn<int>("warnings");
        QTest::newRow("the default face, IPAGothic here") << QByteArray() << 0;
        QTest::newRow("IPAGothic") << QByteArray("IPAGothic") << 0;
        QTest::newRow("a proportional Latin face") << QByteArray("DejaVu Sans") << 1;
        QTest::newRow("a monospaced face without kana") << QByteArray("DejaVu Sans Mono") << 1;
    }

    void aFaceWithoutTwoColumnFullWidthIsNamedOnceAtStart()
    {
        QFETCH(QByteArray, face);
        QFETCH(int, warnings);
        Sandbox sandbox;
        if (!face.isEmpty())
            Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nFontName=" + face + "\r\n");
        setClipboard(QStringLiteral("本文"));
        auto w = startWindow(sandbox);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::qWait(100); // the warning waits for the window to show
        const QList<QMessageBox*> shown = driftWarnings();
        QCOMPARE(shown.size(), warnings);
        if (warnings == 0)
            return;
        QVERIFY(shown[0]->text().contains(QStringLiteral("fonts-ipafont-gothic")));
        QVERIFY(shown[0]->text().contains(QString::fromLatin1(face)));
        // The window goes on working meanwhile.
        QVERIFY(!shown[0]->isModal());
        QCOMPARE(w->boxText(), std::u16string(u"本文"));
        shown[0]->close();
        QTRY_VERIFY(driftWarnings().isEmpty());
    }
};

std::unique_ptr<QObject> makeAccessibilityTest() { return std::make_unique<AccessibilityTest>(); }

} // namespace kestrova::test

#include "access_test.moc"
