#include "platform/versionbox.h"

#include "version.h"

#include "platform/appicon.h"
#include "platform/dialogframe.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <algorithm>

namespace kestrova::platform {

namespace {

// Image1 is a 32 x 32 picture, as the box was drawn.
constexpr int kImageSize = 32;

// Past this many average characters the copyright line wraps.
constexpr int kWrapWidthChars = 56;

// A version part in decimal without leading zeros; 0 when it is no number.
QString versionPart(const QStringList& parts, qsizetype index)
{
    bool ok = false;
    const uint value = parts.value(index).trimmed().toUInt(&ok);
    return QString::number(ok ? value : 0U);
}

} // namespace

VersionRecord programVersionRecord()
{
    return {QString::fromUtf8(kProductName), QString::fromLatin1(kFileVersion),
            QString::fromUtf8(kCopyright)};
}

QString composeVersionLine(const VersionRecord& record)
{
    const QStringList parts = record.fileVersion.split(QLatin1Char('.'));
    return record.productName + QStringLiteral(" Version ") + versionPart(parts, 0) +
           QLatin1Char('.') + versionPart(parts, 1);
}

const QString& VersionLineCache::line(const VersionRecord& record)
{
    if (m_line.isEmpty())
        m_line = composeVersionLine(record);
    return m_line;
}

VersionLineCache& programVersionLineCache()
{
    // Lives for the run: the line is composed once, at the first opening of the box.
    static VersionLineCache cache;
    return cache;
}

fomVersion::fomVersion(QWidget* parent)
    : fomVersion(programVersionRecord(), programVersionLineCache(), parent)
{
}

fomVersion::fomVersion(const VersionRecord& record, VersionLineCache& cache, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrova ﾊﾞｰｼﾞｮﾝ情報"));
    frameAsModalDialog(this);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kImageSize, kImageSize);
    Image1->setPixmap(appIconPixmap(kImageSize));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Two lines high, as drawn: a long copyright line wraps rather than widening the box.
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setMinimumHeight(2 * Label2->fontMetrics().lineSpacing());

    cmdExit = new QPushButton(QStringLiteral("戻る"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdExit->setDefault(true);
    cmdExit->setAutoDefault(true);
    Image1->setAccessibleName(QStringLiteral("Kestrova のアイコン"));
    Image1->setAccessibleDescription(QStringLiteral("Kestrova の印"));
    Label1->setAccessibleDescription(QStringLiteral("製品名とバージョン"));
    Label2->setAccessibleDescription(QStringLiteral("著作権の表示"));
    cmdExit->setAccessibleDescription(QStringLiteral("バージョン情報を閉じます"));
    connect(cmdExit, &QPushButton::clicked, this, &fomVersion::cmdExit_Click);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(12);
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(Label2, 1, 1);
    grid->addWidget(cmdExit, 2, 0, 1, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load(record, cache);
}

void fomVersion::Form_Load(const VersionRecord& record, VersionLineCache& cache)
{
    Label1->setText(cache.line(record));
    Label2->setText(record.copyright);
    // A copyright line of usual length stays on one line; a long one wraps onto the second.
    const QFontMetrics metrics = Label2->fontMetrics();
    Label2->setMinimumWidth(std::min(metrics.horizontalAdvance(record.copyright),
                                     kWrapWidthChars * metrics.averageCharWidth()));
}

// Enter, Esc and the close box end the box the same way: QDialog's reject.
void fomVersion::cmdExit_Click() { reject(); }

} // namespace kestrova::platform
