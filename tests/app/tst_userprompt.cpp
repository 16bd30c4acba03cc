#include "app/userprompt.h"

#include <QTest>

class TstUserPrompt : public QObject {
    Q_OBJECT
private slots:
    void handlerAnswersAndIsPutBack()
    {
        QStringList asked;
        ScopedPromptHandler outer([&asked](const PromptRequest& r) {
            asked << "outer:" + r.text;
            return QMessageBox::Cancel;
        });
        {
            ScopedPromptHandler inner([&asked](const PromptRequest& r) {
                asked << "inner:" + r.informativeText;
                return QMessageBox::Ok;
            });
            PromptRequest r;
            r.informativeText = "Откатить?";
            r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
            QCOMPARE(promptUser(r), QMessageBox::Ok);
        }
        PromptRequest r;
        r.text = "Сброс";
        QCOMPARE(promptUser(r), QMessageBox::Cancel);
        QCOMPARE(asked, (QStringList{"inner:Откатить?", "outer:Сброс"}));
    }
};

QTEST_MAIN(TstUserPrompt)
#include "tst_userprompt.moc"
