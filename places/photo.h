#pragma once
// The picture viewer: the picture the descriptions window shows, in a blue
// top-level tool window of its own titled with the picture's caption, at its
// natural size or, when larger than the screen allows, fitted into the
// screen's picture box. A double-click hides it and brings the frame back.
// Created once, on the first double-click on the descriptions window's
// picture, and hidden between uses.

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

class QLabel;

namespace Ui {
class Photo;
}

namespace corvane {

class OuterPlacement;

// What a double-click on the descriptions window's picture does: creates
// the viewer the first time a picture has been shown (vPhotoCreated), then
// shows it with the picture named by vPixPath and vPixType under the caption
// vPixCaption; a viewer already showing loads the current picture again.
void showPhoto();

class TfrmPhoto : public QWidget {
    Q_OBJECT
public:
    explicit TfrmPhoto(QWidget* parent = nullptr);
    ~TfrmPhoto() override;

    QLabel* imgPhoto() const;
    QImage picture() const { return m_picture; } // as decoded, in device pixels

    // The show handler's work, also run for a viewer already showing.
    void FormShow();
    void setVisible(bool visible) override;

public slots:
    void FormDblClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Screen {
        QSize size;
        int left = -1; // -1: a width the table does not name
        QSize box; // the largest picture shown whole
    };
    static Screen screen();
    bool loadPicture(QSize box);
    void fitAround(QSize picture);
    void placeOn(const Screen& screen);

    const std::unique_ptr<Ui::Photo> ui;
    OuterPlacement* const m_placement;
    QString m_pixPath; // the viewer's own copies of vPixPath and vPixType
    QString m_pixType;
    QImage m_picture;
    bool m_shownBefore = false;
};

} // namespace corvane
