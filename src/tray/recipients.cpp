#include "tray/recipients.h"

#include "tray/trayjobs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrova::tray {

namespace {

constexpr int kFingerprintRole = Qt::UserRole;
constexpr int kSearchTextRole = Qt::UserRole + 1;

} // namespace

RecipientsDialog::RecipientsDialog(const std::vector<pgp::Key>& keys, long long now,
                                   QWidget* parent)
    : QDialog(parent)
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_ok(nullptr)
{
    setWindowTitle(QStringLiteral("受取人の選択"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("暗号化する相手の鍵を選んで下さい:"), this));
    m_search->setPlaceholderText(QStringLiteral("名前・アドレス・指紋で検索"));
    m_search->setAccessibleName(QStringLiteral("検索"));
    layout->addWidget(m_search);
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->setAccessibleName(QStringLiteral("鍵"));
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("暗号化"));
    m_ok->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    layout->addWidget(buttons);
    resize(560, 360);

    for (const pgp::Key& key : keys) {
        const std::string reason = whyNotUsable(key, now);
        QString line = QString::fromStdString(pgp::primaryUserId(key)) + QStringLiteral("\n  ") +
                       QString::fromStdString(pgp::groupedFingerprint(key.fingerprint));
        if (!reason.empty())
            line += QStringLiteral("  (選べません: ") + QString::fromStdString(reason) +
                    QStringLiteral(")");
        auto* item = new QListWidgetItem(line, m_list);
        item->setData(kFingerprintRole, QString::fromStdString(key.fingerprint));
        QString searchText = QString::fromStdString(key.fingerprint);
        for (const std::string& userId : key.userIds)
            searchText += QLatin1Char('\n') + QString::fromStdString(userId);
        item->setData(kSearchTextRole, searchText);
        if (!reason.empty())
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    }

    connect(m_search, &QLineEdit::textChanged, this, &RecipientsDialog::filter);
    connect(m_search, &QLineEdit::returnPressed, this, &RecipientsDialog::takeSoleMatch);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &RecipientsDialog::selectionChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::vector<std::string> RecipientsDialog::chosen() const
{
    std::vector<std::string> fingerprints;
    for (const QListWidgetItem* item : m_list->selectedItems())
        fingerprints.push_back(item->data(kFingerprintRole).toString().toStdString());
    return fingerprints;
}

void RecipientsDialog::filter(const QString& words)
{
    // A fingerprint is often written in groups of four: blanks never count.
    QString wanted = words.simplified();
    const QString compact = QString(wanted).remove(QLatin1Char(' '));
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const QString text = item->data(kSearchTextRole).toString();
        const bool match = wanted.isEmpty() || text.contains(wanted, Qt::CaseInsensitive) ||
                           text.contains(compact, Qt::CaseInsensitive);
        item->setHidden(!match);
    }
}

void RecipientsDialog::takeSoleMatch()
{
    // A name typed and Enter is enough when it finds one key: the Enter then accepts.
    QListWidgetItem* sole = nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->isHidden() || !(item->flags() & Qt::ItemIsSelectable))
            continue;
        if (sole)
            return;
        sole = item;
    }
    if (sole)
        sole->setSelected(true);
}

void RecipientsDialog::selectionChanged() { m_ok->setEnabled(!m_list->selectedItems().isEmpty()); }

} // namespace kestrova::tray
