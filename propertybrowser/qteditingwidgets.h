// The in-place editors that the editor factories put into a browser's value column
// where a standard widget will not do:
//   QtSpinBoxEditWidget2: a spin box with an action button ("Рассчитать");
//   QtLineEditWidget2: a line edit with an action button ("Редактировать");
//   QtDoubleSpinBox2: a double spin box that reports Return and Enter;
//   QtBoolEdit: a check box with an optional "True"/"False" text.
// The two editors with a button commit only on Return or Enter, wherever the focus
// is inside them, and their button never acts on those keys: the button ignores
// them, so they travel up to the editor (and to the item delegate's filter on it).
// A value typed and left without Return or Enter is never committed.
//
// The factories reach the inner spin box and line edit directly for range, step,
// read-only state, echo mode, input mask and validator. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QWidget>

class QLayout;

// The editors' gap to the cell border: 4 pixels on the side the text starts from.
void applyEditorMargin(QLayout *layout);

class QtSpinBoxEditWidget2 : public QWidget
{
    Q_OBJECT
public:
    explicit QtSpinBoxEditWidget2(QWidget *parent = nullptr);

    // Touches the spin box only when the value differs from the shown one.
    void setValue(int value);
    int value() const;
    void setSingleStep(int step);
    int singleStep() const;
    void setRange(int minimum, int maximum);
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    void setKeyboardTracking(bool tracking);
    bool keyboardTracking() const;
    void setButtonVisible(bool visible);
    void setButtonText(const QString &text);

    QSpinBox *spinBox() const { return m_spinBox; }
    QToolButton *button() const { return m_button; }

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The button was clicked.
    void scriptCalled();
    // Return or Enter: the shown value is committed, changed or not.
    void valueChanged(int value);

public slots:
    void buttonClicked();
    void slotValueChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QSpinBox *m_spinBox;
    QToolButton *m_button;
};

class QtLineEditWidget2 : public QWidget
{
    Q_OBJECT
public:
    explicit QtLineEditWidget2(QWidget *parent = nullptr);

    // Touches the line edit only when the text differs from the shown one.
    void setValue(const QString &value);
    QString value() const;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    void setValidator(const QValidator *validator);
    const QValidator *validator() const;
    void setInputMask(const QString &inputMask);
    QString inputMask() const;
    // A QLineEdit::EchoMode.
    void setEchoMode(int echoMode);
    int echoMode() const;
    void setButtonVisible(bool visible);
    void setButtonText(const QString &text);

    QLineEdit *lineEdit() const { return m_lineEdit; }
    QToolButton *button() const { return m_button; }

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The button was clicked.
    void btnClicked();
    // Return or Enter: the shown text is committed, changed or not.
    void valueChanged();

public slots:
    void slotBtnClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLineEdit *m_lineEdit;
    QToolButton *m_button;
};

class QtDoubleSpinBox2 : public QDoubleSpinBox
{
    Q_OBJECT
public:
    explicit QtDoubleSpinBox2(QWidget *parent = nullptr);

    // Whether the user has typed into the editor or stepped its value (keys,
    // wheel, arrows) since the editor was made or this was last set to false.
    // A value the program sets leaves it as it is.
    bool isEdited() const { return m_edited; }
    void setEdited(bool edited) { m_edited = edited; }
    void stepBy(int steps) override;

signals:
    // Return or Enter, after the typed text has been read.
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_edited = false;
};

class QtBoolEdit : public QWidget
{
    Q_OBJECT
public:
    // Shows "True" at first, whatever the state, until setChecked or setTextVisible.
    explicit QtBoolEdit(QWidget *parent = nullptr);

    bool textVisible() const { return m_textVisible; }
    void setTextVisible(bool visible);
    // The text is left as it is.
    Qt::CheckState checkState() const;
    void setCheckState(Qt::CheckState state);
    bool isChecked() const;
    // The text follows the new state while it is visible.
    void setChecked(bool checked);
    // Blocks the inner check box only, so that the widget's own signals stay as they are.
    bool blockCheckBoxSignals(bool block);

signals:
    void toggled(bool checked);

protected:
    // A left click anywhere on the widget toggles the check box.
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString stateText() const;

    QCheckBox *m_checkBox;
    bool m_textVisible;
};
