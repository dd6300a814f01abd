#include "setup/setupdialog.h"

#include "platform/appicon.h"
#include "platform/twips.h"
#include "platform/versionbox.h"
#include "setup/controls.h"
#include "setup/flowpage.h"
#include "setup/spoken.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace kestrova::setup {

namespace {

constexpr const char16_t* kPageCaptions[] = {u"表示", u"文揃え", u"PGP関連", u"その他"};

// Each page stands this far inside the frame on every side.
constexpr int kPageInsetTwips = 30;

} // namespace

fomSetup::fomSetup(settings::Settings& settings, QWidget* parent)
    : fomSetup(settings, programFontNameCache(), parent)
{
}

fomSetup::fomSetup(settings::Settings& settings, FontNameCache& fontNames, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setWindowTitle(QStringLiteral("動作設定"));
    setWindowIcon(platform::appIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    // The page selectors: option buttons drawn as push buttons, one of them always down.
    m_pageGroup = new QButtonGroup(this);
    auto* pageRow = new QHBoxLayout;
    pageRow->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        optPage[i] = makeButton(QString::fromUtf16(kPageCaptions[i]),
                                QStringLiteral("optPage(%1)").arg(i), this);
        optPage[i]->setCheckable(true);
        m_pageGroup->addButton(optPage[i], i);
        pageRow->addWidget(optPage[i]);
    }
    pageRow->addStretch(1);

    // A disabled button without caption: the raised frame the pages stand in.
    cmdPage = makeButton(QString(), QStringLiteral("cmdPage"), this);
    cmdPage->setEnabled(false);
    cmdPage->setFocusPolicy(Qt::NoFocus);

    m_fontPage = new FontPage(fontNames, this);
    m_flowPage = new FlowPage(this);
    m_pgpPage = new PgpPage(this);
    auto* otherPage = new QWidget(this);
    chkConvMode = new QCheckBox(QStringLiteral("自動ｺｰﾄﾞ変換"), otherPage);
    chkConvMode->setObjectName(QStringLiteral("chkConvMode"));
    auto* otherLayout = new QVBoxLayout(otherPage);
    otherLayout->addWidget(chkConvMode);
    otherLayout->addStretch(1);
    picTabPage = {m_fontPage, m_flowPage, m_pgpPage, otherPage};

    // The frame is as large as the largest page needs, so no page is ever cut off, whatever
    // the font.
    QSize largest;
    for (int i = 0; i < 4; ++i) {
        picTabPage[i]->setObjectName(QStringLiteral("picTabPage(%1)").arg(i));
        picTabPage[i]->setAutoFillBackground(true);
        largest = largest.expandedTo(picTabPage[i]->minimumSizeHint())
                      .expandedTo(picTabPage[i]->sizeHint());
        picTabPage[i]->hide();
    }
    const int insetX = platform::twipsToPixelsX(this, kPageInsetTwips);
    const int insetY = platform::twipsToPixelsY(this, kPageInsetTwips);
    cmdPage->setMinimumSize(largest + QSize(2 * insetX, 2 * insetY));
    cmdPage->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    cmdCancel = makeButton(QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("cmdCancel"), this);
    cmdVersion = makeButton(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"), QStringLiteral("cmdVersion"), this);
    cmdExit = makeButton(QStringLiteral("戻る"), QStringLiteral("cmdExit"), this);
    cmdExit->setDefault(true);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(cmdCancel);
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdVersion);
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdExit);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pageRow);
    layout->addWidget(cmdPage, 1);
    layout->addLayout(buttonRow);

    connect(m_pageGroup, &QButtonGroup::idClicked, this, &fomSetup::optPage_Click);
    connect(cmdVersion, &QPushButton::clicked, this, &fomSetup::cmdVersion_Click);
    connect(cmdExit, &QPushButton::clicked, this, &fomSetup::cmdExit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &fomSetup::cmdCancel_Click);

    optPage[0]->setChecked(true);
    describeControls(this);
    Form_Load();
}

void fomSetup::setPgpCommand(PgpCommandHook hook) { m_pgpPage->setPgpCommand(std::move(hook)); }

void fomSetup::setBeep(std::function<void()> beep) { m_fontPage->setBeep(std::move(beep)); }

void fomSetup::Form_Load()
{
    m_fontPage->load(m_settings);
    m_flowPage->load(m_settings);
    m_pgpPage->load(m_settings);
    chkConvMode->setChecked(m_settings.ConvMode != 0);
    TabView(0);
}

QRect fomSetup::pageArea() const
{
    const int insetX = platform::twipsToPixelsX(this, kPageInsetTwips);
    const int insetY = platform::twipsToPixelsY(this, kPageInsetTwips);
    return cmdPage->geometry().adjusted(insetX, insetY, -insetX, -insetY);
}

void fomSetup::TabView(int page)
{
    m_page = page;
    optPage[static_cast<std::size_t>(page)]->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        QWidget* const panel = picTabPage[static_cast<std::size_t>(i)];
        if (i == page) {
            panel->setGeometry(pageArea());
            panel->raise();
            panel->show();
        } else {
            panel->hide();
        }
    }
}

void fomSetup::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The layout has just placed the frame; the page follows it.
    picTabPage[static_cast<std::size_t>(m_page)]->setGeometry(pageArea());
}

void fomSetup::optPage_Click(int Index) { TabView(Index); }

void fomSetup::cmdVersion_Click()
{
    platform::fomVersion box(this);
    box.exec();
}

void fomSetup::cmdExit_Click()
{
    m_fontPage->store(m_settings);
    m_flowPage->store(m_settings);
    m_pgpPage->store(m_settings);
    m_settings.ConvMode = chkConvMode->isChecked() ? 1 : 0;
    accept();
}

void fomSetup::cmdCancel_Click() { reject(); }

} // namespace kestrova::setup
