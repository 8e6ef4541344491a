#pragma once

#include <QFrame>
#include <QMetaType>

class QLabel;
class QLineEdit;

/// The small Go to field that floats over the top of the element tree: a byte offset, decimal
/// or "0x" hexadecimal, or an element id written "#123". Enter hands a well-formed entry on in
/// requested() and leaves the bar open until the receiver closes it or shows an error; Escape
/// closes it.
class GoToBar : public QFrame
{
    Q_OBJECT

public:
    struct Request
    {
        enum Kind { Invalid, Offset, Id };
        Kind kind = Invalid;
        qint64 value = -1; ///< bytes for Offset
    };

    /// Reads an entry: surrounding spaces are ignored, the number must fit a qint64 and ids
    /// start at 1.
    static Request parse(const QString &text);

    /// Floats over parent, hidden until open().
    explicit GoToBar(QWidget *parent);

    QLineEdit *lineEdit() const { return edit; }
    /// The base offsets are shown in, 10 or 16: the hint in the empty field follows it, and in
    /// base 16 an empty field opens with "0x" typed.
    int numberBase() const { return number_base; }
    void setNumberBase(int base);
    /// The error of the last entry; hidden while there is none.
    QLabel *messageLabel() const { return message; }

public slots:
    /// Shows the bar at the top right of its parent with the last entry selected for typing over.
    void open();
    /// Keeps the bar open and says what was wrong with the entry.
    void showError(const QString &text);
    /// Hides the bar and forgets the error.
    void dismiss();

signals:
    void requested(const GoToBar::Request &request);
    /// Escape closed the bar.
    void cancelled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void submit();
    void place();

    QLineEdit *edit;
    QLabel *message;
    int number_base = 10;
};

Q_DECLARE_METATYPE(GoToBar::Request)
