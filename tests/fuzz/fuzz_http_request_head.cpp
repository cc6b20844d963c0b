// Feeds arbitrary bytes to the web port's request-head reader, as a client could send them
// before any check. Besides crashes it checks what the server relies on: a complete head lies
// within the bytes and the size limit, its path is absolute and holds no NUL, its method is a
// token, and its body length is never negative; the same bytes cut short are never taken as
// a different complete head.
#include "remote/http_request_head.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    HttpRequestHead head;
    const HttpRequestHead::Result result = HttpRequestHead::parse(bytes, &head);
    if (result == HttpRequestHead::Incomplete)
        check(bytes.size() < HttpRequestHead::MAX_BYTES);
    if (result != HttpRequestHead::Complete)
        return 0;
    check(head.size > 0 && head.size <= bytes.size() && head.size <= HttpRequestHead::MAX_BYTES);
    check(bytes.mid(head.size - 4, 4) == "\r\n\r\n");
    check(head.path.startsWith('/') && !head.path.contains('\0'));
    check(!head.method.isEmpty() && !head.method.contains(' '));
    check(head.contentLength >= 0);
    check(head.minorVersion == 0 || head.minorVersion == 1);
    check(head.fields.size() <= HttpRequestHead::MAX_FIELDS);
    // Read again from the head alone, the request is the same: what follows it never counts.
    HttpRequestHead again;
    check(HttpRequestHead::parse(bytes.left(head.size), &again) == HttpRequestHead::Complete);
    check(again.path == head.path && again.contentLength == head.contentLength && again.size == head.size);
    // One byte short of its end, it is not complete yet.
    HttpRequestHead shorter;
    check(HttpRequestHead::parse(bytes.left(head.size - 1), &shorter) != HttpRequestHead::Complete);
    return 0;
}
