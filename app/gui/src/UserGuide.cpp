#include "gui/UserGuide.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

UserGuide::UserGuide(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
    Q_INIT_RESOURCE(tavon);
    setObjectName("userGuide");
    setWindowTitle("Tavon Datalogging - User Guide");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    browser_->setObjectName("userGuideText");
    browser_->setOpenExternalLinks(true);
    QFile page(":/tavon/user-guide.html");
    if (page.open(QIODevice::ReadOnly)) {
        browser_->setHtml(QString::fromUtf8(page.readAll()));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString UserGuide::Text() const {
    return browser_->toPlainText();
}
