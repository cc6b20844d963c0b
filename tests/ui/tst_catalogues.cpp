#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message
{
    QString context;
    QString source;
};

// The messages lupdate finds in a catalogue file: context and source text of each.
QList<Message> readMessages(const QString &path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            messages.append({context, xml.readElementText()});
    }
    return messages;
}

QStringList placeholders(const QString &text)
{
    QStringList found;
    auto matches = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text);
    while (matches.hasNext())
        found << matches.next().captured();
    found.sort();
    return found;
}

} // namespace

class TstCatalogues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyMessageIsTranslated_data();
    void everyMessageIsTranslated();

private:
    QTemporaryDir dir;
    QList<Message> messages;
};

void TstCatalogues::initTestCase()
{
    QVERIFY(dir.isValid());
    const QString collected = dir.filePath(QStringLiteral("collected.ts"));
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(LUPDATE_PROGRAM),
        {QStringLiteral("-locations"), QStringLiteral("none"), QStringLiteral(ZENTROVA_SOURCE_DIR "/src"),
            QStringLiteral("-ts"), collected});
    QVERIFY(lupdate.waitForFinished(30000));
    QVERIFY2(lupdate.exitCode() == 0, lupdate.readAll().constData());
    messages = readMessages(collected);
    // The start-up texts and the interface at the least; a broken scan finds far fewer.
    QVERIFY2(messages.size() >= 75, qPrintable(QString::number(messages.size())));
}

void TstCatalogues::everyMessageIsTranslated_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("simplified Chinese") << QStringLiteral("zh_CN");
    QTest::newRow("traditional Chinese") << QStringLiteral("zh_TW");
}

void TstCatalogues::everyMessageIsTranslated()
{
    QFETCH(QString, language);
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/translations/zentrova_%1.qm").arg(language)));
    QStringList problems;
    for (const Message &message : qAsConst(messages)) {
        const QString translation
            = translator.translate(message.context.toUtf8().constData(), message.source.toUtf8().constData());
        const QString where = message.context + QStringLiteral(": ") + message.source;
        if (translation.isEmpty())
            problems << QStringLiteral("untranslated ") + where;
        else if (placeholders(translation) != placeholders(message.source))
            problems << QStringLiteral("placeholders differ in ") + where;
        // Image addresses are translated to the language's own picture, which must exist.
        else if (message.source.startsWith(QLatin1String("qrc:/"))
            && (!QFile::exists(translation.mid(3)) || !translation.contains(language)))
            problems << QStringLiteral("no localized image for ") + where;
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TstCatalogues)

#include "tst_catalogues.moc"
