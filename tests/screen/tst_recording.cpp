#include <QTest>
class TestRecording : public QObject
{
    Q_OBJECT
};
QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
