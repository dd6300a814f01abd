// The numbers the dialog reads from its boxes, and NumRangeCheck.
#include "setup/numbers.h"

#include <QTest>

#include <memory>

namespace kestrova::test {

class NumbersTest : public QObject
{
    Q_OBJECT

private slots:
    void aWholeNumberIsReadWithItsRounding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<qlonglong>("value");
        QTest::newRow("12") << QStringLiteral("12") << true << 12LL;
        QTest::newRow("blanks around") << QStringLiteral(" \t12　") << true << 12LL;
        QTest::newRow("a plus sign") << QStringLiteral("+7") << true << 7LL;
        QTest::newRow("-5") << QStringLiteral("-5") << true << -5LL;
        QTest::newRow("10.5 rounds up") << QStringLiteral("10.5") << true << 11LL;
        QTest::newRow("10.49 rounds down") << QStringLiteral("10.49") << true << 10LL;
        QTest::newRow("-2.5 rounds away from zero") << QStringLiteral("-2.5") << true << -3LL;
        QTest::newRow(".5") << QStringLiteral(".5") << true << 1LL;
        QTest::newRow("5.") << QStringLiteral("5.") << true << 5LL;
        QTest::newRow("the 32-bit edge") << QStringLiteral("-2147483648") << true << -2147483648LL;
        QTest::newRow("empty") << QString() << false << 0LL;
        QTest::newRow("blanks only") << QStringLiteral("  ") << false << 0LL;
        QTest::newRow("letters") << QStringLiteral("abc") << false << 0LL;
        QTest::newRow("a letter after digits") << QStringLiteral("12a") << false << 0LL;
        QTest::newRow("a blank inside") << QStringLiteral("1 2") << false << 0LL;
        QTest::newRow("an exponent") << QStringLiteral("1e3") << false << 0LL;
        QTest::newRow("a sign alone") << QStringLiteral("-") << false << 0LL;
        QTest::newRow("a point alone") << QStringLiteral(".") << false << 0LL;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << false << 0LL;
        QTest::newRow("past 32 bits") << QStringLiteral("99999999999") << false << 0LL;
        QTest::newRow("far past 64 bits")
            << QStringLiteral("123456789012345678901234567890") << false << 0LL;
    }
    void aWholeNumberIsReadWithItsRounding()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(qlonglong, value);
        const auto read = setup::readWholeNumber(text);
        QCOMPARE(read.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*read, value);
    }

    void NumRangeCheckHoldsForNumbersInTheRangeOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("holds");
        QTest::newRow("1, the least") << QStringLiteral("1") << true;
        QTest::newRow("1000, the most") << QStringLiteral("1000") << true;
        QTest::newRow("0.5 rounds into the range") << QStringLiteral("0.5") << true;
        QTest::newRow("1000.4 rounds into the range") << QStringLiteral("1000.4") << true;
        QTest::newRow("1000.5 rounds out of it") << QStringLiteral("1000.5") << false;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("1001") << QStringLiteral("1001") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("a letter") << QStringLiteral("a") << false;
        QTest::newRow("beyond 16 bits") << QStringLiteral("40000") << false;
    }
    void NumRangeCheckHoldsForNumbersInTheRangeOnly()
    {
        QFETCH(QString, text);
        QFETCH(bool, holds);
        QCOMPARE(setup::NumRangeCheck(text, 1, 1000), holds);
    }

    void theIntegerRangesAreKept()
    {
        QCOMPARE(setup::readInt16(QStringLiteral("32767")), std::optional<int>(32767));
        QCOMPARE(setup::readInt16(QStringLiteral("-32768")), std::optional<int>(-32768));
        QVERIFY(!setup::readInt16(QStringLiteral("32768")));
        QVERIFY(!setup::readInt16(QStringLiteral("-32769")));
        QCOMPARE(setup::readInt32(QStringLiteral("2147483647")), std::optional<int>(2147483647));
        QVERIFY(!setup::readInt32(QStringLiteral("2147483648")));
    }
};

std::unique_ptr<QObject> makeNumbersTest() { return std::make_unique<NumbersTest>(); }

} // namespace kestrova::test

#include "numbers_test.moc"
