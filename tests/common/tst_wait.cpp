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
    // Nobody presses anything: the window's own 1500 ms timer closes it and ShowNotice returns.
    void closesByItself()
    {
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* notice = qobject_cast<Wait*>(modal);
            QCOMPARE(notice->windowTitle(), QStringLiteral("信息"));
            QCOMPARE(notice->txtMsg->text(), QStringLiteral("备份成功\r\n备份文件名:x.ZIP"));
            QCOMPARE(notice->Timer1->interval(), 1500);
            QCOMPARE(notice->focusWidget(), notice->Command1);
        });
        driver.start();
        ShowNotice(QStringLiteral("备份成功\r\n备份文件名:x.ZIP"), 0, QString());
        QVERIFY(driver.done());
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
        driver.then([&](QWidget* modal) {
            auto* notice = qobject_cast<Wait*>(modal);
            QTEST(notice->Timer1->interval(), "expectedInterval");
            QTEST(notice->windowTitle(), "expectedTitle");
            notice->Command1->click();
        });
        driver.start();
        ShowNotice(QStringLiteral("m"), static_cast<qint16>(interval), caption);
        QVERIFY(driver.done());
    }

    void buttonClosesAtOnceEscDoesNothingAndTheLabelKeepsItsSize()
    {
        Wait notice;
        int closed = 0;
        connect(&notice, &QDialog::finished, this, [&] { ++closed; });
        const QSize label = notice.txtMsg->size();
        notice.txtMsg->setText(QString(500, QChar(0x5b57)));
        notice.show();
        QTest::keyClick(&notice, Qt::Key_Escape);
        QVERIFY(notice.isVisible());
        QCOMPARE(notice.txtMsg->size(), label);
        QTest::mouseClick(notice.Command1, Qt::LeftButton);
        QVERIFY(!notice.isVisible());
        QVERIFY(!notice.Timer1->isActive()); // no tick follows
        QCOMPARE(closed, 1);
    }
};

QTEST_MAIN(TestWait)
#include "tst_wait.moc"
