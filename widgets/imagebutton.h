#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

// A button made of four PNG pictures (normal, hover, pressed, disabled),
// painted on its parent's background, and a fifth for a tab that is the
// chosen one: it wins over hover and pressed, so the chosen tab stays marked. Its Enabled flag is its own: a disabled
// image button still gets the mouse and shows its tooltip, it only looks
// disabled and never clicks.
class TImageButton final : public QWidget {
    Q_OBJECT

public:
    explicit TImageButton(QWidget* parent = nullptr);

    const QImage& Image() const { return m_image; }
    const QImage& ImageOver() const { return m_imageOver; }
    const QImage& ImageDown() const { return m_imageDown; }
    const QImage& ImageDisable() const { return m_imageDisable; }
    void SetImage(const QImage& image) { setPicture(m_image, image); }
    void SetImageOver(const QImage& image) { setPicture(m_imageOver, image); }
    void SetImageDown(const QImage& image) { setPicture(m_imageDown, image); }
    void SetImageDisable(const QImage& image) { setPicture(m_imageDisable, image); }
    const QImage& ImageChosen() const { return m_imageChosen; }
    void SetImageChosen(const QImage& image) { setPicture(m_imageChosen, image); }
    bool Chosen() const { return m_chosen; }
    void SetChosen(bool chosen);
    bool UseDown() const { return m_useDown; }
    void SetUseDown(bool useDown);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    bool isHovered() const { return m_hover; }
    bool isPressed() const { return m_pressed; }
    // Where the last picture was drawn: the area in which a release clicks.
    QRect hitRect() const { return m_hitRect; }

    std::function<void(TImageButton* sender)> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Tab reaches it; Space and Return click it; the focus shows as a dotted frame.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setPicture(QImage& field, const QImage& image);

    QImage m_image;
    QImage m_imageOver;
    QImage m_imageDown;
    QImage m_imageDisable;
    QImage m_imageChosen;
    bool m_chosen = false;
    bool m_useDown = true;
    bool m_enabled = true;
    bool m_hover = false;
    bool m_pressed = false;
    QRect m_hitRect;
};
