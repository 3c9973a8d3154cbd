// Driving real widgets in offscreen window tests: waiting in the event loop,
// answering the next modal dialog, finding and clicking children.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dkq {

// The application of the test process, made on first use and left to the
// process end.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "window_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Keeps the event loop running until the condition holds or 20 s have passed.
inline bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 20000) return false;
        QTest::qWait(20);
    }
    return true;
}

// Runs action on the next modal dialog or message box that opens other than
// `current`, from inside the event loop that the box runs.
inline void onNextModal(const std::function<void(QWidget*)>& action, QWidget* current = nullptr) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action, current] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == current || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

template <typename T = QLineEdit>
T* child(QWidget* parent, const QString& name) {
    T* widget = parent->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

inline void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Answers a message box: its text, then a click on its button.
inline std::string answerBox(QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return "no message box";
    std::string text = box->text().toStdString();
    click(box->buttons().constFirst());
    return text;
}

// Answers a message box with Enter, as a hurried user does: its text.
inline std::string answerByEnter(QWidget* modal) {
    std::string text = qobject_cast<QMessageBox*>(modal)->text().toStdString();
    QTest::keyClick(modal, Qt::Key_Return);
    return text;
}

using Reply = std::function<void(QWidget*)>;

// A message box answered with this button.
inline Reply press(QMessageBox::StandardButton button) {
    return [button](QWidget* box) { click(qobject_cast<QMessageBox*>(box)->button(button)); };
}

// Answers the modal windows that open next, in order, and keeps their texts
// (a box's text, another window's title). A new single-shot timer each time,
// so windows opened by an answer are seen from inside the answer.
class Modals {
  public:
    explicit Modals(const std::vector<Reply>& replies) : replies_(replies.begin(), replies.end()) {
        poll();
    }
    ~Modals() { *alive_ = false; }
    bool done() const { return replies_.empty(); }
    std::vector<std::string> texts;

  private:
    void poll() {
        QTimer::singleShot(5, [this, alive = alive_] {
            if (!*alive || replies_.empty()) return;
            QWidget* modal = QApplication::activeModalWidget();
            poll();
            if (modal == nullptr || !modal->isVisible()) return;
            auto* box = qobject_cast<QMessageBox*>(modal);
            texts.push_back((box ? box->text() : modal->windowTitle()).toStdString());
            const Reply reply = replies_.front();
            replies_.pop_front();
            reply(modal);
        });
    }

    std::deque<Reply> replies_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Answers a file dialog with this file.
inline std::function<void(QWidget*)> saveAs(const std::string& path) {
    return [path](QWidget* dialog) {
        qobject_cast<QFileDialog*>(dialog)->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

}  // namespace dkq
