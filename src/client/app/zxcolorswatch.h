#pragma once

#include <QColor>
#include <QWidget>
#include <functional>
#include <optional>

// A rounded colour sample; pressing it opens the colour dialog preset to its colour.
// Tests answer the dialog in advance with SetColorChooser.
class TZxColorSwatch : public QWidget
{
    Q_OBJECT

public:
    using Chooser = std::function<std::optional<QColor>(const QColor &initial)>;

    explicit TZxColorSwatch(const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QSize sizeHint() const override { return {28, 18}; }

    static void SetColorChooser(Chooser chooser);

signals:
    void colorChanged(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor m_color;
    static Chooser s_chooser;
};

// Colours are stored as blue × 65536 + green × 256 + red.
QColor ColorFromStored(qint64 value);
qint64 ColorToStored(const QColor &color);
