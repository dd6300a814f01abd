// Page 0 "表示": the font name list and its cache, the size list, typed sizes and the sample.
#include "setup_support.h"

#include "platform/qtext.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace kestrova::test {

namespace {

// Installed with fonts-ipafont-gothic: the Japanese font the window is meant for.
const QString kInstalledFace = QStringLiteral("IPAGothic");

QString sampleText(QWidget& dialog)
{
    return control<QPlainTextEdit>(dialog, QStringLiteral("txtFontSample"))->toPlainText();
}

} // namespace

class DisplayPageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFontDatabase::families().contains(kInstalledFace),
                 "fonts-ipafont-gothic is not installed");
    }

    void theStoredSizeIsSelectedOrTyped_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("index");
        QTest::newRow("9 is in the list") << 9 << 1;
        QTest::newRow("72, the last entry") << 72 << 15;
        QTest::newRow("15 is not: typed, nothing selected") << 15 << -1;
        QTest::newRow("1000 is not either") << 1000 << -1;
    }
    void theStoredSizeIsSelectedOrTyped()
    {
        QFETCH(int, size);
        QFETCH(int, index);
        settings::Settings record;
        record.FontName = u"IPAGothic";
        record.FontSize = size;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* box = control<QComboBox>(*open->dialog, QStringLiteral("cboFontSize"));
        QCOMPARE(box->count(), 16);
        QCOMPARE(box->currentIndex(), index);
        QCOMPARE(box->currentText(), QString::number(size));
        QCOMPARE(open->beeps, 0);
        QVERIFY(sampleText(*open->dialog)
                    .startsWith(kInstalledFace + QLatin1Char(' ') + QString::number(size) +
                                QStringLiteral("pt\n")));
    }

    void theSampleShowsTheFontAndTheFiveLines()
    {
        settings::Settings record;
        record.FontName = u"IPAGothic";
        record.FontSize = 12;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        const QStringList lines = sampleText(*open->dialog).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 6); // five lines, each ended
        QCOMPARE(lines[0], QStringLiteral("IPAGothic 12pt"));
        QCOMPARE(lines[1], QStringLiteral("1122334455|6677889900|1122334455|"));
        QCOMPARE(lines[2], QStringLiteral("１２３４５|６７８９０|１２３４５|"));
        QCOMPARE(lines[3], QStringLiteral("AABBCCDDEE|FFGGHHIIJJ|KKLLMMNNOO|"));
        QCOMPARE(lines[4], QStringLiteral("ＡＢＣＤＥ|ＦＧＨＩＪ|ＫＬＭＮＯ|"));
        QCOMPARE(lines[5], QString());
        const QFont sample =
            control<QPlainTextEdit>(*open->dialog, QStringLiteral("txtFontSample"))->font();
        QCOMPARE(sample.family(), kInstalledFace);
        QCOMPARE(sample.pointSize(), 12);
        QVERIFY(!sample.bold() && !sample.italic());
        // The bars line up: in this font full-width is exactly twice half-width.
        const QFontMetrics metrics(sample);
        QCOMPARE(metrics.horizontalAdvance(lines[2]), metrics.horizontalAdvance(lines[1]));
    }

    void aBadTypedSizeBeepsAndChangesNothing_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::newRow("1001 is too large") << QStringLiteral("100") << QStringLiteral("1");
        QTest::newRow("a letter after a size") << QStringLiteral("12") << QStringLiteral("a");
        QTest::newRow("a letter alone") << QStringLiteral("") << QStringLiteral("x");
        QTest::newRow("a sign alone") << QStringLiteral("") << QStringLiteral("-");
    }
    void aBadTypedSizeBeepsAndChangesNothing()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        settings::Settings record;
        record.FontName = u"IPAGothic";
        record.FontSize = 9;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* box = control<QComboBox>(*open->dialog, QStringLiteral("cboFontSize"));
        box->setEditText(start);
        const QString before = sampleText(*open->dialog);
        typeAtEnd(box->lineEdit(), typed);
        QCOMPARE(box->currentText(), start + typed);
        QCOMPARE(open->beeps, 1);
        QCOMPARE(sampleText(*open->dialog), before);
        confirm(*open->dialog);
        QCOMPARE(record.FontSize, 9);
    }

    void aGoodTypedSizeShowsAtOnceAndIsStoredWhole_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");
        QTest::newRow("14") << QStringLiteral("14") << QStringLiteral("14pt") << 14;
        QTest::newRow("10.5 shows as it reads, stores 11")
            << QStringLiteral("10.5") << QStringLiteral("10.5pt") << 11;
        QTest::newRow("1000, the largest")
            << QStringLiteral("1000") << QStringLiteral("1000pt") << 1000;
    }
    void aGoodTypedSizeShowsAtOnceAndIsStoredWhole()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        settings::Settings record;
        record.FontName = u"IPAGothic";
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* box = control<QComboBox>(*open->dialog, QStringLiteral("cboFontSize"));
        box->setEditText(QString());
        typeAtEnd(box->lineEdit(), typed);
        QCOMPARE(open->beeps, 0);
        QCOMPARE(sampleText(*open->dialog).section(QLatin1Char('\n'), 0, 0),
                 kInstalledFace + QLatin1Char(' ') + shown);
        confirm(*open->dialog);
        QCOMPARE(record.FontSize, stored);
    }

    void choosingANameOrSizeFromTheListShowsIt()
    {
        settings::Settings record;
        record.FontName = u"IPAGothic";
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* names = control<QComboBox>(*open->dialog, QStringLiteral("cboFontName"));
        auto* sizes = control<QComboBox>(*open->dialog, QStringLiteral("cboFontSize"));
        const int other = names->currentIndex() == 0 ? 1 : 0;
        const QString otherFace = names->itemText(other);
        names->setCurrentIndex(other);
        emit names->activated(other);
        sizes->setCurrentIndex(sizes->findText(QStringLiteral("20")));
        emit sizes->activated(sizes->currentIndex());
        QCOMPARE(sampleText(*open->dialog).section(QLatin1Char('\n'), 0, 0),
                 otherFace + QStringLiteral(" 20pt"));
        confirm(*open->dialog);
        QCOMPARE(platform::toQString(record.FontName), otherFace);
        QCOMPARE(record.FontSize, 20);
    }

    void aFaceThisScreenLacksOpensEmptyAndIsKept()
    {
        settings::Settings record;
        record.FontName = u"Kestrova Missing Face";
        record.FontSize = 11;
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* names = control<QComboBox>(*open->dialog, QStringLiteral("cboFontName"));
        QCOMPARE(names->currentIndex(), -1);
        QCOMPARE(names->currentText(), QString());
        QVERIFY(names->count() > 0);
        QCOMPARE(sampleText(*open->dialog), QString()); // no name: no sample
        confirm(*open->dialog);
        QVERIFY(record.FontName == u"Kestrova Missing Face");
        QCOMPARE(record.FontSize, 11);
    }

    // A first start's face exists nowhere here: the list shows the face that stands in for it,
    // the one the text is drawn in, with its sample.
    void theDefaultFaceShowsItsStandIn()
    {
        settings::Settings record;
        QVERIFY(record.FontName == u"ＭＳ ゴシック");
        setup::FontNameCache cache;
        auto open = openDialog(record, cache);
        auto* names = control<QComboBox>(*open->dialog, QStringLiteral("cboFontName"));
        QCOMPARE(names->currentText(), QStringLiteral("IPAGothic"));
        QVERIFY(sampleText(*open->dialog).startsWith(QStringLiteral("IPAGothic 9pt")));
        confirm(*open->dialog);
        QVERIFY(record.FontName == u"IPAGothic");
    }

    void theNameCacheIsReadOnlyWhenTheFontCountChanges()
    {
        const QStringList screen = QFontDatabase::families();
        settings::Settings record;
        record.FontName = u"Cached Face";
        // A cache taken at the screen's current count is used as it is...
        setup::FontNameCache cache{static_cast<int>(screen.size()),
                                   {QStringLiteral("Cached Face"), QStringLiteral("Other")}};
        {
            auto open = openDialog(record, cache);
            auto* names = control<QComboBox>(*open->dialog, QStringLiteral("cboFontName"));
            QCOMPARE(names->count(), 2);
            QCOMPARE(names->currentText(), QStringLiteral("Cached Face"));
        }
        // ...one taken at another count is read again, and kept after the dialog.
        cache.count = static_cast<int>(screen.size()) + 1;
        {
            auto open = openDialog(record, cache);
            auto* names = control<QComboBox>(*open->dialog, QStringLiteral("cboFontName"));
            QCOMPARE(names->count(), screen.size());
            QCOMPARE(names->itemText(0), screen.first());
        }
        QCOMPARE(cache.count, static_cast<int>(screen.size()));
        QCOMPARE(cache.names, screen);
    }
};

std::unique_ptr<QObject> makeDisplayPageTest() { return std::make_unique<DisplayPageTest>(); }

} // namespace kestrova::test

#include "display_test.moc"
