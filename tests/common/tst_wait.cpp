// The notice window: its timer, its button and what ShowNotice sets on it.
#include "common/Prompts.h"
#include "common/Wait.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestWait : public QObject
{
    Q_OBJECT

private slots:
    void closesByItselfWithTheDefaults()
    {
        ModalDriver driver;
        QString title, text;
        int interval = 0;
        bool focusOnButton = false;
        driver.then([&](QWidget* modal) {
            auto* notice = qobject_cast<Wait*>(modal);
            QVERIFY(notice);
            title = notice->windowTitle();
            text = notice->txtMsg->text();
            interval = notice->Timer1->interval();
            focusOnButton = notice->focusWidget() == notice->Command1;
            // Nobody presses anything: the timer has to close it.
        });
        driver.start();
        ShowNotice(QStringLiteral("备份成功\r\n备份文件名:x.ZIP"), 0, QString());
        QVERIFY(driver.done());
        QCOMPARE(title, QStringLiteral("信息"));
        QCOMPARE(text, QStringLiteral("备份成功\r\n备份文件名:x.ZIP"));
        QCOMPARE(interval, 1500);
        QVERIFY(focusOnButton);
    }

    void intervalAndCaption_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("expectedInterval");
        QTest::addColumn<QString>("expectedTitle");
        QTest::newRow("500 ms") << 500 << QString() << 500 << QStringLiteral("信息");
        QTest::newRow("negative is ignored") << -200 << QString() << 1500 << QStringLiteral("信息");
        QTest::newRow("caption replaces the title") << 0 << QStringLiteral("提示") << 1500 << QStringLiteral("提示");
    }
    void intervalAndCaption()
    {
        QFETCH(int, interval);
        QFETCH(QString, caption);
        ModalDriver driver;
        int seenInterval = 0;
        QString seenTitle;
        driver.then([&](QWidget* modal) {
            auto* notice = qobject_cast<Wait*>(modal);
            seenInterval = notice->Timer1->interval();
            seenTitle = notice->windowTitle();
            notice->Command1->click();
        });
        driver.start();
        ShowNotice(QStringLiteral("m"), static_cast<qint16>(interval), caption);
        QVERIFY(driver.done());
        QTEST(seenInterval, "expectedInterval");
        QTEST(seenTitle, "expectedTitle");
    }

    void buttonClosesAtOnceAndNoTickFollows()
    {
        Wait notice;
        int closed = 0;
        connect(&notice, &QDialog::finished, this, [&] { ++closed; });
        notice.show();
        QVERIFY(notice.Timer1->isActive());
        QVERIFY(notice.Timer1->isSingleShot());
        QTest::mouseClick(notice.Command1, Qt::LeftButton);
        QVERIFY(!notice.isVisible());
        QVERIFY(!notice.Timer1->isActive());
        QTest::qWait(50);
        QCOMPARE(closed, 1);
    }

    void escDoesNothingAndTheLabelKeepsItsSize()
    {
        Wait notice;
        const QSize label = notice.txtMsg->size();
        const QSize window = notice.size();
        notice.txtMsg->setText(QString(500, QChar(0x5b57)));
        notice.show();
        QTest::keyClick(&notice, Qt::Key_Escape);
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.txtMsg->size(), label);
        QCOMPARE(notice.size(), window);
        QCOMPARE(window, QSize(218, 145));
        QVERIFY(notice.windowFlags() & Qt::WindowMaximizeButtonHint);
        notice.Timer1->start(0); // the tick closes it like the button
        QTRY_VERIFY(!notice.isVisible());
    }
};

QTEST_MAIN(TestWait)
#include "tst_wait.moc"
