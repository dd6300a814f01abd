// Answers the modal windows a command opens, the way a user would: a script of steps, one for
// each window in turn, taken while the command's own event loop runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace kestrova::test {

class ModalScript : public QObject
{
public:
    using Step = std::function<void(QWidget* window)>;

    ModalScript();

    // The next modal window gets this step.
    void then(Step step) { m_steps.push_back(std::move(step)); }
    // For the windows after the script, when set; else they are closed and noted as unexpected.
    Step otherwise;
    // Called on every tick while something runs: for watching a command from outside.
    std::function<void()> whileRunning;

    // The captions of the modal windows met, in order; one not scripted is closed and noted.
    std::vector<QString> captions;
    std::vector<QString> unexpected;
    [[nodiscard]] bool scriptDone() const { return m_steps.empty(); }

    // Steps.
    static Step typePassPhrase(const QString& passPhrase);
    static Step typeId(const QString& id);
    static Step cancel();
    static Step readView(QString& into);
    static Step readMessage(QString& into);
    // A message box's text or a viewer's, whichever the window is.
    static Step read(QString& into);

private:
    void tick();

    QTimer m_timer;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_handled;
};

} // namespace kestrova::test
