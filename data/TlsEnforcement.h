#pragma once

namespace hv::tls {

// Qt's MySQL driver (Qt 6.4) can be told the authority that signs the database servers, but not
// to refuse a server without TLS before the login goes out, nor to check that the certificate was
// made out to the host it connects to: the client library then sends its login in plain text to
// whoever answers without TLS, and takes any certificate the authority signed. While one of these
// lives, the connections this thread opens through the driver ask the client library for both
// (MYSQL_OPT_SSL_ENFORCE, MYSQL_OPT_SSL_VERIFY_SERVER_CERT), set on its handle the moment the driver
// connects. A build where the driver cannot be reached that way says so with enforced().
class Strict {
public:
    explicit Strict(bool on);
    ~Strict();
    Strict(const Strict&) = delete;
    Strict& operator=(const Strict&) = delete;

    // Whether the last connect of this thread, while this lived, was made with both options set.
    bool enforced() const;

private:
    bool m_previous;
};

// Whether this build can set them at all (it can where the program takes the driver's connect on
// its way to the client library: Linux).
bool available();

} // namespace hv::tls
