#include "setup/flowpage.h"

#include "platform/qtext.h"
#include "setup/numbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace kestrova::setup {

namespace {

constexpr const char16_t* kChgModeCaptions[] = {u"しない", u"引用だけ", u"する"};

} // namespace

FlowPage::FlowPage(QWidget* parent)
    : QWidget(parent)
{
    txtColumns = new QLineEdit(this);
    txtColumns->setObjectName(QStringLiteral("txtColumns"));
    txtInyoWords = new QLineEdit(this);
    txtInyoWords->setObjectName(QStringLiteral("txtInyoWords"));
    txtEnterMes = new QLineEdit(this);
    txtEnterMes->setObjectName(QStringLiteral("txtEnterMes"));
    chkKinsoku = new QCheckBox(QStringLiteral("禁則など"), this);
    chkKinsoku->setObjectName(QStringLiteral("chkKinsoku"));

    m_chgModeGroup = new QButtonGroup(this);
    auto* chgModeRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        optChgMode[i] = new QRadioButton(QString::fromUtf16(kChgModeCaptions[i]), this);
        optChgMode[i]->setObjectName(QStringLiteral("optChgMode(%1)").arg(i));
        m_chgModeGroup->addButton(optChgMode[i], i);
    }
    // Shown from "always" to "never", left to right.
    for (int i = 2; i >= 0; --i)
        chgModeRow->addWidget(optChgMode[i]);
    chgModeRow->addStretch(1);

    auto* columnsLabel = new QLabel(QStringLiteral("桁数："), this);
    columnsLabel->setBuddy(txtColumns);
    auto* inyoLabel = new QLabel(QStringLiteral("引用符："), this);
    inyoLabel->setBuddy(txtInyoWords);
    auto* chgModeLabel = new QLabel(QStringLiteral("次行接続："), this);
    auto* enterMesLabel = new QLabel(QStringLiteral("引用改行注釈："), this);
    enterMesLabel->setBuddy(txtEnterMes);

    auto* columnsRow = new QHBoxLayout;
    columnsRow->addWidget(txtColumns);
    columnsRow->addStretch(1);
    txtColumns->setMaximumWidth(
        txtColumns->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 8 + 12);

    auto* grid = new QGridLayout(this);
    grid->addWidget(columnsLabel, 0, 0);
    grid->addLayout(columnsRow, 0, 1);
    grid->addWidget(inyoLabel, 1, 0);
    grid->addWidget(txtInyoWords, 1, 1);
    grid->addWidget(chgModeLabel, 2, 0);
    grid->addLayout(chgModeRow, 2, 1);
    grid->addWidget(enterMesLabel, 3, 0);
    grid->addWidget(txtEnterMes, 3, 1);
    grid->addWidget(chkKinsoku, 4, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
}

void FlowPage::load(const settings::Settings& settings)
{
    txtColumns->setText(QString::number(settings.Columns));
    txtInyoWords->setText(platform::toQString(settings.Inyofu));
    if (settings.ChgMode >= 0 && settings.ChgMode <= 2)
        optChgMode[static_cast<std::size_t>(settings.ChgMode)]->setChecked(true);
    chkKinsoku->setChecked(settings.Kinsoku != 0);
    txtEnterMes->setText(platform::toQString(settings.EnterMes));
}

void FlowPage::store(settings::Settings& settings) const
{
    if (const auto columns = readInt16(txtColumns->text()))
        settings.Columns = *columns < 1 ? 1 : *columns;
    settings.Inyofu = platform::toU16(trimBlanks(txtInyoWords->text()));
    settings.Kinsoku = chkKinsoku->isChecked() ? 1 : 0;
    settings.EnterMes = platform::toU16(txtEnterMes->text());
    if (m_chgModeGroup->checkedId() >= 0)
        settings.ChgMode = m_chgModeGroup->checkedId();
}

} // namespace kestrova::setup
