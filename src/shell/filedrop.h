// Files dropped on the text box: only a list of local files is taken, and the first of them is
// read once the drop is over.
#pragma once

#include <QMimeData>
#include <QObject>
#include <QString>

class QWidget;

namespace kestrova::shell {

// The first local file a drop carries; empty for text, pictures and the like.
[[nodiscard]] QString firstDroppedFile(const QMimeData* data);

class FileDropTarget : public QObject
{
    Q_OBJECT

public:
    // Takes the drops on target, which must accept drops.
    explicit FileDropTarget(QWidget* target);

signals:
    // The dropped file's path, after the drop has ended: the program the file came from waits
    // for the drop to finish.
    void dropped(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kestrova::shell
