#include "widgets/about_box.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dkq {

void showAboutBox(QWidget* parent, const QIcon& icon, const QStringList& lines,
                  const QString& title) {
    QDialog box(parent);
    box.setObjectName("aboutBox");
    box.setWindowTitle(title);
    auto* picture = new QLabel;
    picture->setPixmap(icon.pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    for (const QString& line : lines) texts->addWidget(new QLabel(line));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addWidget(buttons);
    box.exec();
}

void addAboutAction(QWidget* window, const QIcon& icon, const QStringList& lines,
                    const QString& title) {
    auto* about = new QAction("&O programie...", window);
    about->setObjectName("aboutAction");
    about->setShortcut(Qt::Key_F1);
    QObject::connect(about, &QAction::triggered, window,
                     [window, icon, lines, title] { showAboutBox(window, icon, lines, title); });
    window->addAction(about);
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace dkq
