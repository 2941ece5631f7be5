#pragma once

#include <QImage>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QTimer>

#include <optional>

// A picture of the program's skins: "skin<ID>.png" or "strip<ID>.png" among the skin resources.
// A null image when there is none of that id.
QImage LoadSkinBitmap(int resourceId);

// The push button of every skinned window: one of three pictures cut from a strip (normal,
// pressed, pointer resting on it), and a tooltip with one tool.
class CHoverButton : public QPushButton {
    Q_OBJECT

  public:
    // How long the pointer rests on the button before the hover picture shows.
    static constexpr int kHoverTimeMs = 1;

    explicit CHoverButton(QWidget* parent = nullptr);
    ~CHoverButton() override;

    // Takes the strip from the skin resources and sizes the button to one picture, in place.
    // A missing resource leaves an empty strip: the button is 0 x 0 and draws nothing.
    int SetStripBitmap(int resourceId);
    int SetStripBitmap(const QImage& strip);

    // Gives the tooltip's one tool this text (adding the tool on first use) and turns the tooltip
    // on or off. An absent (null) text changes nothing.
    void SetTip(const QString& text, bool activate);
    // The tooltip on or off, once it has its tool.
    void EnableTip(bool activate);

    // The picture shown now: 0 normal, 1 pressed, 2 hover.
    int CurrentPicture() const;
    // What a disabled button shows in place of its normal picture.
    static QImage DisabledPicture(const QImage& normal);
    bool hover() const { return hover_; }
    bool tracking() const { return tracking_; }
    int pictureWidth() const { return width_; }
    int pictureHeight() const { return height_; }
    // The tooltip's tools (0 or 1), its text and whether it is active.
    int ToolCount() const { return tool_ ? 1 : 0; }
    QString TipText() const { return tool_ ? tool_->text : QString(); }
    bool TipActive() const { return tipActive_; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Tool {
        int id = 1;
        QRect rect;
        QString text;
    };

    void TrackPointer();
    void OnHover();

    bool hover_ = false;
    int width_ = 0;
    int height_ = 0;
    QImage strip_;
    bool tracking_ = false;
    QTimer hoverTimer_;
    std::optional<Tool> tool_;
    bool tipActive_ = false;
};
