#include "setup/setupdialog.h"

#include "platform/appicon.h"
#include "platform/dialogframe.h"
#include "platform/twips.h"
#include "platform/versionbox.h"
#include "setup/controls.h"
#include "setup/flowpage.h"
#include "setup/spoken.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
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
    platform::frameAsModalDialog(this);

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

    // Drawn as the raised face of a button, the pages standing 30 twips inside its edge.
    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pageFrame"));
    m_pages->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_pages->setLineWidth(2);
    const int insetX = platform::twipsToPixelsX(this, kPageInsetTwips);
    const int insetY = platform::twipsToPixelsY(this, kPageInsetTwips);
    m_pages->setContentsMargins(insetX, insetY, insetX, insetY);

    m_fontPage = new FontPage(fontNames, m_pages);
    m_flowPage = new FlowPage(m_pages);
    m_pgpPage = new PgpPage(m_pages);
    auto* otherPage = new QWidget(m_pages);
    chkConvMode = new QCheckBox(QStringLiteral("自動ｺｰﾄﾞ変換"), otherPage);
    chkConvMode->setObjectName(QStringLiteral("chkConvMode"));
    auto* otherLayout = new QVBoxLayout(otherPage);
    otherLayout->addWidget(chkConvMode);
    otherLayout->addStretch(1);
    picTabPage = {m_fontPage, m_flowPage, m_pgpPage, otherPage};
    // The frame is as large as the largest page needs, so no page is ever cut off, whatever
    // the font.
    for (int i = 0; i < 4; ++i) {
        picTabPage[i]->setObjectName(QStringLiteral("picTabPage(%1)").arg(i));
        m_pages->addWidget(picTabPage[i]);
    }

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
    layout->addWidget(m_pages, 1);
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

void fomSetup::TabView(int page)
{
    optPage[static_cast<std::size_t>(page)]->setChecked(true);
    m_pages->setCurrentIndex(page);
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
