// At 2x scaling the splash's pictures are drawn for the screen's pixels.

#include <QApplication>
#include <QLabel>
#include <QtTest>

#include "app/splash/frmSplash.h"

using namespace quarnel;

class HiDpiTest : public QObject {
    Q_OBJECT
  private slots:
    void splashPicturesAreSharp() {
        frmSplash splash({});
        splash.show();
        QCOMPARE(splash.devicePixelRatioF(), 2.0);
        for (const char* name : {"Image1", "Image2"}) {
            auto* image = splash.findChild<QLabel*>(name);
            const QPixmap picture = image->pixmap();
            QCOMPARE(picture.devicePixelRatio(), 2.0);
            QCOMPARE(picture.size(), image->size() * 2);
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
