#include "about_dialog.h"
#include "progress_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs step once the dialog's modal loop is running, then gives the loop time to react.
void whileRunning(QDialog &dialog, const std::function<void()> &step)
{
    QTimer::singleShot(0, &dialog, [&dialog, step] {
        QTRY_VERIFY(dialog.isVisible());
        step();
    });
}

QProgressBar *mainBar(ProgressDialog &dialog)
{
    return dialog.findChildren<QProgressBar *>().value(0);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void progressDialogIgnoresEscapeAndCloseWithoutCancelButton()
    {
        ProgressDialog dialog;
        dialog.setValue(70);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        bool stillOpen = false;
        whileRunning(dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.close();
            QTest::qWait(50);
            stillOpen = dialog.isVisible();
            dialog.accept();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(stillOpen);
        QCOMPARE(rejected.size(), 0);
        // A dialog used again starts from 0.
        QCOMPARE(mainBar(dialog)->value(), 0);
    }

    void cancelButtonOnlyAnnouncesTheWish()
    {
        ProgressDialog dialog;
        dialog.setCancelButtonVisible(true);
        // Shown twice: the button must still emit once per click.
        dialog.setCancelButtonVisible(true);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        bool stillOpen = false;
        whileRunning(dialog, [&] {
            auto *cancel = dialog.findChild<QPushButton *>();
            QCOMPARE(cancel->text(), QStringLiteral("Отмена"));
            QTest::mouseClick(cancel, Qt::LeftButton);
            QTest::mouseClick(cancel, Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::qWait(50);
            stillOpen = dialog.isVisible();
            dialog.accept();
        });
        dialog.exec();
        QVERIFY(stillOpen);
        QCOMPARE(rejected.size(), 3);

        dialog.setCancelButtonVisible(false);
        rejected.clear();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(rejected.size(), 0);
    }

    void aboutShowsItsPictureAndClosesOnAClick()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrune - About"));
        QCOMPARE(dialog.windowModality(), Qt::WindowModal);
        const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
        QCOMPARE(labels.size(), 2);
        QLabel *picture = labels[0];
        QLabel *text = labels[1];
        // The picture comes from the compiled-in image, through the SVG reader.
        const QImage background(QStringLiteral(":resources/about-dialog-background.svg"));
        QVERIFY(!background.isNull());
        QCOMPARE(picture->width(), background.width());
        QVERIFY(picture->minimumHeight() == background.height());
        QVERIFY(text->text().contains(QStringLiteral("1.2.0.0")));
        QVERIFY(text->text().contains(QStringLiteral("96-544")));
        QVERIFY(text->text().contains(QStringLiteral("mailto:")));
        QCOMPARE(text->textInteractionFlags(), Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse
                                                   | Qt::LinksAccessibleByKeyboard);

        bool clickOnTextKeptItOpen = false;
        whileRunning(dialog, [&] {
            QTest::mousePress(text, Qt::LeftButton, {}, QPoint(5, 5));
            QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(5, 5));
            QTest::qWait(20);
            clickOnTextKeptItOpen = dialog.isVisible();
            QTest::mousePress(picture, Qt::LeftButton, {}, QPoint(10, 10));
        });
        dialog.exec();
        QVERIFY(clickOnTextKeptItOpen);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
