#include "modal_script.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrova::test {

namespace {

void press(QWidget* window, const QString& caption)
{
    for (auto* button : window->findChildren<QPushButton*>())
        if (button->text() == caption && button->isVisible()) {
            button->click();
            return;
        }
    window->close();
}

} // namespace

ModalScript::ModalScript()
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::tick);
    m_timer.start();
}

void ModalScript::tick()
{
    if (whileRunning)
        whileRunning();
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_handled || !modal->isVisible())
        return;
    m_handled = modal;
    captions.push_back(modal->windowTitle());
    if (m_steps.empty() && otherwise) {
        otherwise(modal);
        return;
    }
    if (m_steps.empty()) {
        unexpected.push_back(modal->windowTitle());
        modal->close();
        return;
    }
    const Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(modal);
}

ModalScript::Step ModalScript::typePassPhrase(const QString& passPhrase)
{
    return [passPhrase](QWidget* window) {
        auto* box = window->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
        if (box && box->isVisible())
            box->setText(passPhrase);
        press(window, QStringLiteral("OK"));
    };
}

ModalScript::Step ModalScript::typeId(const QString& id)
{
    return [id](QWidget* window) {
        auto* combo = window->findChild<QComboBox*>();
        if (combo && combo->isVisible())
            combo->setEditText(id);
        press(window, QStringLiteral("OK"));
    };
}

ModalScript::Step ModalScript::cancel()
{
    return [](QWidget* window) { press(window, QStringLiteral("Cancel")); };
}

ModalScript::Step ModalScript::readView(QString& into)
{
    return [&into](QWidget* window) {
        if (auto* box = window->findChild<QPlainTextEdit*>())
            into += box->toPlainText();
        press(window, QStringLiteral("確認"));
    };
}

ModalScript::Step ModalScript::readMessage(QString& into)
{
    return [&into](QWidget* window) {
        if (auto* box = qobject_cast<QMessageBox*>(window))
            into += box->text();
        window->close();
    };
}

ModalScript::Step ModalScript::read(QString& into)
{
    return [&into](QWidget* window) {
        if (qobject_cast<QMessageBox*>(window))
            readMessage(into)(window);
        else
            readView(into)(window);
    };
}

} // namespace kestrova::test
