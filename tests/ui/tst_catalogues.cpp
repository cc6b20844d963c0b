#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

// Every message the code and the interface files translate has an entry in both Chinese
// catalogues, with the same placeholders; lupdate collects the messages from the sources.
class TstCatalogues : public QObject
{
    Q_OBJECT

private slots:
    void everyMessageIsTranslated()
    {
        const auto placeholders = [](const QString &text) {
            QStringList found;
            for (auto matches = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text); matches.hasNext();)
                found << matches.next().captured();
            found.sort();
            return found;
        };
        const QString languages[] = {QStringLiteral("zh_CN"), QStringLiteral("zh_TW")};
        QTranslator translators[2];
        for (int i = 0; i < 2; ++i)
            QVERIFY(translators[i].load(QStringLiteral(":/translations/zentrova_%1.qm").arg(languages[i])));
        QTemporaryDir dir;
        QFile collected(dir.filePath(QStringLiteral("collected.ts")));
        // The web remote's page is JavaScript for browsers, with texts of its own; lupdate reads the rest.
        QStringList arguments {QStringLiteral("-locations"), QStringLiteral("none")};
        const QDir sources(QStringLiteral(ZENTROVA_SOURCE_DIR "/src"));
        for (const QFileInfo &entry : sources.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (entry.fileName() != QLatin1String("web"))
                arguments << entry.filePath();
        arguments << QStringLiteral("-ts") << collected.fileName();
        QCOMPARE(QProcess::execute(QStringLiteral(LUPDATE_PROGRAM), arguments), 0);
        QVERIFY(collected.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&collected);
        QString context;
        QStringList problems;
        int messages = 0;
        while (!xml.atEnd()) {
            if (!xml.readNextStartElement())
                continue;
            if (xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            if (xml.name() != QLatin1String("source"))
                continue;
            const QString source = xml.readElementText();
            ++messages;
            for (int i = 0; i < 2; ++i) {
                const QString translation = translators[i].translate(context.toUtf8(), source.toUtf8());
                const QString where = languages[i] + QLatin1Char(' ') + context + QStringLiteral(": ") + source;
                if (translation.isEmpty())
                    problems << QStringLiteral("untranslated ") + where;
                else if (placeholders(translation) != placeholders(source))
                    problems << QStringLiteral("placeholders differ in ") + where;
                // Image addresses are translated to the language's own picture, which must exist.
                else if (source.startsWith(QLatin1String("qrc:/"))
                    && (!QFile::exists(translation.mid(3)) || !translation.contains(languages[i])))
                    problems << QStringLiteral("no localized image for ") + where;
            }
        }
        // The start-up texts and the interface at the least; a broken scan finds far fewer.
        QVERIFY2(messages >= 75, qPrintable(QString::number(messages)));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TstCatalogues)

#include "tst_catalogues.moc"
