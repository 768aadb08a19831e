#include "gui/UserGuide.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QVBoxLayout>

#include <utility>
#include <vector>

const char* const UserGuide::kContents = "qrc:/tavon/manual/index.md";

namespace {

// A page or picture the program carries: a qrc: address whose resource is there.
bool Carried(const QUrl& url) {
    return url.scheme() == QLatin1String("qrc") && QFile::exists(':' + url.path());
}

} // namespace

UserGuide::UserGuide(QWidget* parent)
    : QDialog(parent), browser_(new QTextBrowser(this)), back_(new QPushButton("Back", this)),
      forward_(new QPushButton("Forward", this)) {
    Q_INIT_RESOURCE(tavon);
    setObjectName("userGuide");
    setWindowTitle("Tavon Datalogging - User Guide");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    browser_->setObjectName("userGuideText");
    // Links are followed here: a page of the manual in this window, anything else by the desktop.
    browser_->setOpenLinks(false);
    browser_->viewport()->installEventFilter(this);
    connect(browser_, &QTextBrowser::anchorClicked, this, &UserGuide::FollowLink);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        fittedWidth_ = -1;
        FitPictures();
    });

    back_->setObjectName("userGuideBack");
    forward_->setObjectName("userGuideForward");
    auto* contents = new QPushButton("Contents", this);
    contents->setObjectName("userGuideContents");
    back_->setEnabled(false);
    forward_->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, this, [this] { Open(QUrl(kContents)); });

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    buttons->addWidget(contents);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addLayout(buttons);
    resize(900, 700);
    Open(QUrl(kContents));
}

void UserGuide::Open(const QUrl& page) {
    const QUrl url = browser_->source().resolved(page);
    browser_->setSource(url, QTextDocument::MarkdownResource);
}

QUrl UserGuide::Page() const {
    return browser_->source();
}

QString UserGuide::Text() const {
    return browser_->toPlainText();
}

void UserGuide::FollowLink(const QUrl& link) {
    const QUrl url = browser_->source().resolved(link);
    if (url.scheme() == QLatin1String("qrc")) {
        // Every page the manual links to is carried (the test command checks it); a place
        // inside a page is a page too.
        QUrl page = url;
        page.setFragment(QString());
        if (Carried(page)) {
            Open(url);
        }
        return;
    }
    QDesktopServices::openUrl(url);
}

bool UserGuide::eventFilter(QObject* watched, QEvent* event) {
    // The page's own width, once its layout has given it: the window's may come before.
    if (watched == browser_->viewport() && event->type() == QEvent::Resize) {
        FitPictures();
    }
    return QDialog::eventFilter(watched, event);
}

void UserGuide::FitPictures() {
    QTextDocument* document = browser_->document();
    const int width = browser_->viewport()->width() -
                      2 * static_cast<int>(document->documentMargin()) -
                      browser_->verticalScrollBar()->sizeHint().width();
    if (width <= 0 || width == fittedWidth_) {
        return;
    }
    fittedWidth_ = width;
    // The pictures first, then their sizes: a changed format splits the fragments walked.
    std::vector<std::pair<int, QTextImageFormat>> pictures;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat()) {
                pictures.emplace_back(fragment.position(), fragment.charFormat().toImageFormat());
            }
        }
    }
    for (auto& [position, format] : pictures) {
        QImage image;
        image.loadFromData(browser_->loadResource(QTextDocument::ImageResource, QUrl(format.name()))
                               .toByteArray());
        if (image.isNull()) {
            continue;
        }
        const QSize size = image.width() > width
                               ? image.size().scaled(width, image.height(), Qt::KeepAspectRatio)
                               : image.size();
        // Scaled once and smoothly: the page would draw it scaled pixel by pixel, and the words
        // of a window's picture would not read. The document looks a picture up by its name
        // resolved against the page's address.
        const QImage drawn = size == image.size() ? image
                                                  : image.scaled(size, Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation);
        const QUrl name(format.name());
        document->addResource(QTextDocument::ImageResource, name, drawn);
        document->addResource(QTextDocument::ImageResource, document->baseUrl().resolved(name),
                              drawn);
        format.setWidth(size.width());
        format.setHeight(size.height());
        QTextCursor cursor(document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}
