// The tray's recipients dialog: the keys of the key ring, found by a search over names,
// addresses and fingerprints; keys that cannot be encrypted to are listed with the reason and
// cannot be chosen.
#pragma once

#include "pgp/keylisting.h"

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrova::tray {

class RecipientsDialog : public QDialog
{
    Q_OBJECT

public:
    // now: seconds since 1970, for telling expired keys.
    RecipientsDialog(const std::vector<pgp::Key>& keys, long long now, QWidget* parent = nullptr);

    // The fingerprints of the keys chosen.
    [[nodiscard]] std::vector<std::string> chosen() const;

    QLineEdit* search() const { return m_search; }
    QListWidget* list() const { return m_list; }

private:
    void filter(const QString& words);
    void takeSoleMatch();
    void selectionChanged();

    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_ok;
};

} // namespace kestrova::tray
