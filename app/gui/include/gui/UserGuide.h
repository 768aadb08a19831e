#pragma once

#include <QDialog>
#include <QUrl>

class QPushButton;
class QTextBrowser;

// The user manual, the Markdown pages of docs/manual compiled into the program's resources, shown
// in a browser of its own: Help > User Guide. Its links go from page to page as they do in the
// source tree, and Back, Forward and Contents walk them. Not modal: it stays open beside the main
// window while the user tries things.
class UserGuide : public QDialog {
    Q_OBJECT
public:
    // The manual's first page, the one every other page is reached from.
    static const char* const kContents;

    explicit UserGuide(QWidget* parent = nullptr);

    // Shows a page of the manual (a qrc: address, or one relative to the page shown).
    void Open(const QUrl& page);
    QUrl Page() const;
    QString Text() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowLink(const QUrl& link);
    // Pictures wider than the page are drawn at its width, so that a page never scrolls sideways.
    void FitPictures();

    QTextBrowser* browser_;
    QPushButton* back_;
    QPushButton* forward_;
    int fittedWidth_ = -1;
};
