#include "remote/own_certificate.h"

#include "base/paths.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStringList>
#include <QtEndian>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template <typename T, void (*Free)(T *)>
struct Deleter
{
    void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Names = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES, GENERAL_NAMES_free>>;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bio memoryBio(const QByteArray &data)
{
    return Bio(BIO_new_mem_buf(data.constData(), data.size()));
}

QByteArray bioText(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

// DNS and IP subject names built as values, not as OpenSSL's configuration text, where a
// comma in a host name would start a name of its own.
bool addName(GENERAL_NAMES *names, int type, const QByteArray &value)
{
    ASN1_STRING *text = type == GEN_DNS ? ASN1_IA5STRING_new() : ASN1_OCTET_STRING_new();
    GENERAL_NAME *name = GENERAL_NAME_new();
    if (!text || !name || !ASN1_STRING_set(text, value.constData(), value.size())) {
        ASN1_STRING_free(text);
        GENERAL_NAME_free(name);
        return false;
    }
    GENERAL_NAME_set0_value(name, type, text);
    if (!sk_GENERAL_NAME_push(names, name)) {
        GENERAL_NAME_free(name);
        return false;
    }
    return true;
}

bool isDnsName(const QString &name)
{
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    if (name.isEmpty() || name.size() > 253)
        return false;
    for (const QString &part : name.split(QLatin1Char('.'))) {
        if (!label.match(part).hasMatch())
            return false;
    }
    return true;
}

Names subjectNames(QString *commonName)
{
    Names names(sk_GENERAL_NAME_new_null());
    if (!names)
        return names;
    const QString host = QHostInfo::localHostName();
    *commonName = isDnsName(host) ? host : QStringLiteral("localhost");
    QStringList dnsNames {QStringLiteral("localhost")};
    if (isDnsName(host) && host != dnsNames.first())
        dnsNames.prepend(host);
    for (const QString &dns : dnsNames) {
        if (!addName(names.get(), GEN_DNS, dns.toLatin1()))
            return Names();
    }
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        QByteArray bytes;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            const quint32 v4 = qToBigEndian(address.toIPv4Address());
            bytes = QByteArray(reinterpret_cast<const char *>(&v4), sizeof v4);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol && address.scopeId().isEmpty()) {
            const Q_IPV6ADDR v6 = address.toIPv6Address();
            bytes = QByteArray(reinterpret_cast<const char *>(v6.c), 16);
        }
        if (!bytes.isEmpty() && !addName(names.get(), GEN_IPADD, bytes))
            return Names();
    }
    return names;
}

bool addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    const bool added = extension && X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    return added;
}

} // namespace

OwnCertificate::OwnCertificate(const QString &folder)
    : certificateFile(QDir(folder).filePath(QLatin1String(CERTIFICATE_FILE)))
    , keyFile(QDir(folder).filePath(QLatin1String(KEY_FILE)))
{
}

bool OwnCertificate::ensure(QString *error)
{
    if (usable()) {
        // A key left readable by others (copied in, an old umask) is a key others have.
        QFile::setPermissions(keyFile, QFile::ReadOwner | QFile::WriteOwner);
        return true;
    }
    if (QFile::exists(certificateFile))
        qWarning().noquote() << "Control API: the certificate in" << certificateFile
                             << "is damaged, out of date or does not match its key; a new one is made, and clients "
                                "that pinned the old fingerprint must pin the new one";
    if (!make(error))
        return false;
    qInfo().noquote() << "Control API: made a TLS certificate of its own in" << certificateFile;
    return true;
}

bool OwnCertificate::usable() const
{
    const QByteArray certificatePem = readFile(certificateFile);
    const QByteArray keyPem = readFile(keyFile);
    if (certificatePem.isEmpty() || keyPem.isEmpty())
        return false;
    Bio certificateBio = memoryBio(certificatePem);
    Bio keyBio = memoryBio(keyPem);
    Certificate certificate(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    return certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1
        && X509_cmp_current_time(X509_get0_notAfter(certificate.get())) > 0;
}

bool OwnCertificate::make(QString *error) const
{
    *error = tr("OpenSSL could not make a certificate");
    Key key(EVP_EC_gen("P-256"));
    Certificate certificate(X509_new());
    if (!key || !certificate)
        return false;
    // A random serial: a browser that saw an earlier certificate of this host with the same
    // issuer and serial would refuse the new one outright.
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return false;
    serial[0] &= 0x7f;
    BIGNUM *serialNumber = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = serialNumber && BN_to_ASN1_INTEGER(serialNumber, X509_get_serialNumber(certificate.get()));
    BN_free(serialNumber);
    QString commonName;
    const Names names = subjectNames(&commonName);
    X509_NAME *subject = X509_get_subject_name(certificate.get());
    const QByteArray cn = commonName.toLatin1();
    if (!serialSet || !names || !X509_set_version(certificate.get(), 2)
        || !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24 * 3600)
        || !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), long(VALID_DAYS) * 24 * 3600)
        || !X509_set_pubkey(certificate.get(), key.get())
        || !X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
            reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1, 0)
        || !X509_set_issuer_name(certificate.get(), subject)
        || !X509_add1_ext_i2d(certificate.get(), NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT)
        || !addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE")
        || !addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature")
        || !addExtension(certificate.get(), NID_ext_key_usage, "serverAuth")
        || !X509_sign(certificate.get(), key.get(), EVP_sha256()))
        return false;
    Bio certificateOut(BIO_new(BIO_s_mem()));
    Bio keyOut(BIO_new(BIO_s_mem()));
    if (!certificateOut || !keyOut || !PEM_write_bio_X509(certificateOut.get(), certificate.get())
        || !PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        return false;
    // Stopped between the two, the next start finds a pair that does not match and makes both again.
    return writeFileDurably(keyFile, bioText(keyOut.get()), error)
        && writeFileDurably(certificateFile, bioText(certificateOut.get()), error);
}

QString OwnCertificate::fingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}
