#include "setup/fontpage.h"

#include "platform/fonts.h"
#include "platform/qtext.h"
#include "setup/numbers.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace kestrova::setup {

namespace {

constexpr const char* kSizes[] = {"8",  "9",  "10", "11", "12", "14", "16", "18",
                                  "20", "22", "24", "26", "28", "36", "48", "72"};

constexpr int kMinSize = 1;
constexpr int kMaxSize = 1000;

} // namespace

FontNameCache& programFontNameCache()
{
    // Lives for the run, as reading every font name at each opening would be slow on a
    // screen with many fonts.
    static FontNameCache cache;
    return cache;
}

FontPage::FontPage(FontNameCache& cache, QWidget* parent)
    : QWidget(parent)
    , m_cache(cache)
    , m_beep([] { QApplication::beep(); })
{
    cboFontName = new QComboBox(this);
    cboFontName->setObjectName(QStringLiteral("cboFontName"));
    cboFontName->setEditable(false);
    cboFontName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboFontName->setMinimumContentsLength(16);

    cboFontSize = new QComboBox(this);
    cboFontSize->setObjectName(QStringLiteral("cboFontSize"));
    cboFontSize->setEditable(true);
    cboFontSize->setInsertPolicy(QComboBox::NoInsert);
    cboFontSize->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboFontSize->setMinimumContentsLength(4);

    txtFontSample = new QPlainTextEdit(this);
    txtFontSample->setObjectName(QStringLiteral("txtFontSample"));
    txtFontSample->setReadOnly(true);
    txtFontSample->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* nameLabel = new QLabel(QStringLiteral("ﾌｫﾝﾄ名："), this);
    nameLabel->setBuddy(cboFontName);
    auto* sizeLabel = new QLabel(QStringLiteral("ｻｲｽﾞ："), this);
    sizeLabel->setBuddy(cboFontSize);

    auto* grid = new QGridLayout(this);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(cboFontName, 0, 1);
    grid->addWidget(sizeLabel, 0, 2);
    grid->addWidget(cboFontSize, 0, 3);
    grid->addWidget(txtFontSample, 1, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);

    connect(cboFontName, &QComboBox::activated, this, &FontPage::cboFontName_Click);
    connect(cboFontSize, &QComboBox::activated, this, &FontPage::cboFontSize_Click);
    // Typing only: filling and selecting the list from the program calls FontView itself.
    connect(cboFontSize->lineEdit(), &QLineEdit::textEdited, this, &FontPage::cboFontSize_Change);
}

void FontPage::setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

void FontPage::load(const settings::Settings& settings)
{
    FontNameSet(platform::toQString(settings.FontName));
    FontSizeSet(settings.FontSize);
    FontView();
}

void FontPage::store(settings::Settings& settings) const
{
    // A stored face that this screen lacks opens with no selection; confirming then keeps
    // it rather than storing an empty name.
    if (!cboFontName->currentText().isEmpty())
        settings.FontName = platform::toU16(cboFontName->currentText());
    if (NumRangeCheck(cboFontSize->currentText(), kMinSize, kMaxSize))
        settings.FontSize = readInt16(cboFontSize->currentText()).value_or(settings.FontSize);
}

void FontPage::FontNameSet(const QString& nm)
{
    const QStringList screen = QFontDatabase::families();
    if (screen.size() != m_cache.count) {
        m_cache.count = static_cast<int>(screen.size());
        m_cache.names = screen;
    }
    cboFontName->clear();
    int selected = -1;
    for (const QString& name : m_cache.names) {
        cboFontName->addItem(name);
        if (name == nm)
            selected = cboFontName->count() - 1;
    }
    // The default face of the settings file exists on no screen here; the face that stands
    // in for it is what the text shows, so that is what the list shows too.
    if (selected < 0 && nm == QString::fromUtf16(platform::kDesignedFace))
        selected = cboFontName->findText(QFontInfo(platform::textFont(nm, 9)).family());
    // A list box would select its first entry by itself; a face it lacks selects none.
    cboFontName->setCurrentIndex(selected);
}

void FontPage::FontSizeSet(int sz)
{
    cboFontSize->clear();
    int selected = -1;
    for (const char* size : kSizes) {
        cboFontSize->addItem(QString::fromLatin1(size));
        if (selected < 0 && QString::fromLatin1(size).toInt() == sz)
            selected = cboFontSize->count() - 1;
    }
    cboFontSize->setCurrentIndex(selected);
    if (selected < 0)
        cboFontSize->setEditText(QString::number(sz));
}

void FontPage::FontView()
{
    const QString name = cboFontName->currentText();
    const QString size = cboFontSize->currentText();
    if (name.isEmpty() || size.isEmpty())
        return;
    QFont font = txtFontSample->font();
    font.setFamily(name);
    if (NumRangeCheck(size, kMinSize, kMaxSize)) {
        // The sample takes a fraction such as 10.5 as it reads; only the setting is whole.
        bool ok = false;
        const double points = trimBlanks(size).toDouble(&ok);
        font.setPointSizeF(ok && points > 0 ? points : readInt16(size).value_or(kMinSize));
    }
    font.setItalic(false);
    font.setBold(false);
    txtFontSample->setFont(font);

    const QFont shown = txtFontSample->font();
    QString sample = shown.family() + QLatin1Char(' ') + QString::number(shown.pointSizeF()) +
                     QStringLiteral("pt\n");
    for (const char16_t* line : kSampleLines)
        sample += QString::fromUtf16(line) + QLatin1Char('\n');
    txtFontSample->setPlainText(sample);
}

void FontPage::cboFontName_Click() { FontView(); }

void FontPage::cboFontSize_Click() { FontView(); }

void FontPage::cboFontSize_Change()
{
    if (NumRangeCheck(cboFontSize->currentText(), kMinSize, kMaxSize))
        FontView();
    else
        m_beep();
}

} // namespace kestrova::setup
