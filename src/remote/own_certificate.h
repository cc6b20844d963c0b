#pragma once

#include <QCoreApplication>
#include <QString>

class QSslCertificate;

// The controller's own TLS certificate, for when the user names none: a self-signed ECDSA
// (P-256) certificate for this machine's host name and addresses, made once and kept in the
// settings folder, so that a client that pinned its fingerprint still finds it after a
// restart. Qt cannot make certificates; OpenSSL's libcrypto does, in this class alone.
class OwnCertificate
{
    Q_DECLARE_TR_FUNCTIONS(OwnCertificate)

public:
    static constexpr const char *CERTIFICATE_FILE = "api-certificate.pem";
    static constexpr const char *KEY_FILE = "api-key.pem";
    static constexpr int VALID_DAYS = 3650;

    explicit OwnCertificate(const QString &folder);

    QString certificatePath() const { return certificateFile; }
    QString keyPath() const { return keyFile; }

    // Keeps the pair in the folder when it is whole, matching and in date; makes a new one
    // otherwise. The key file is readable by the owner alone, whatever it was. False, with
    // error, when no usable pair can be had.
    bool ensure(QString *error);

    // SHA-256 of the certificate's DER as browsers show it: colon-separated upper-case hex.
    static QString fingerprint(const QSslCertificate &certificate);

private:
    bool usable() const;
    bool make(QString *error) const;

    QString certificateFile;
    QString keyFile;
};
