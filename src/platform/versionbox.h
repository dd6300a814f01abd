// The About box, fomVersion, and the version line it shows.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace kestrova::platform {

// What the About box reads from the program's version record.
struct VersionRecord
{
    QString productName;
    QString fileVersion; // "major.minor.build.revision"
    QString copyright;
};

// The record compiled into the program.
[[nodiscard]] VersionRecord programVersionRecord();

// The product name, " Version ", and the file version's major and minor parts in decimal
// without leading zeros: "Kestrova for Linux Version 1.7". The third and fourth parts are
// never shown; a part that is no number shows as 0.
[[nodiscard]] QString composeVersionLine(const VersionRecord& record);

// The version line: composed on first use, the same text for the rest of the run.
class VersionLineCache
{
public:
    [[nodiscard]] const QString& line(const VersionRecord& record);

private:
    QString m_line;
};

// The one cache of the run, which every About box of the program shares.
[[nodiscard]] VersionLineCache& programVersionLineCache();

// The modal About box: icon, version line, copyright line and "戻る", which answers both
// Enter and Esc. Open it on the stack: fomVersion box(this); box.exec();
class fomVersion : public QDialog
{
    Q_OBJECT

public:
    explicit fomVersion(QWidget* parent = nullptr);
    // For a record and cache of the caller's own (the tests' versions 1.10 and the like).
    fomVersion(const VersionRecord& record, VersionLineCache& cache, QWidget* parent = nullptr);

private slots:
    void cmdExit_Click();

private:
    void Form_Load(const VersionRecord& record, VersionLineCache& cache);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdExit = nullptr;
};

} // namespace kestrova::platform
