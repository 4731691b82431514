// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A round indicator lamp: green while unlit ("OK"), red while lit ("Bad").

#include <QString>
#include <QWidget>

namespace quarnel {

class Lamp : public QWidget {
    Q_OBJECT

  public:
    explicit Lamp(QWidget* parent = nullptr);

    void setLit(bool lit);
    bool isLit() const { return lit_; }

    // The caption of the row the lamp stands in; screen readers announce it.
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }

    static QColor unlitColor() { return QColor(40, 170, 70); }
    static QColor litColor() { return QColor(220, 40, 35); }
    QColor color() const { return lit_ ? litColor() : unlitColor(); }

    // Screen readers that announce only names (no value) hear the state too:
    // "Internal High: Bad".
    QString accessibleCaption() const {
        return caption_.isEmpty() ? accessibleValue()
                                  : caption_ + QStringLiteral(": ") + accessibleValue();
    }
    QString accessibleValue() const;

    QSize sizeHint() const override { return QSize(18, 18); }
    QSize minimumSizeHint() const override { return QSize(10, 10); }

  signals:
    void litChanged(bool lit);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool lit_ = false;
    QString caption_;
};

}  // namespace quarnel
