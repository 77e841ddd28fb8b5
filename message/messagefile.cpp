// Message files. A compact file holds exactly the bytes of
// build_string(ENC_COMPACT): the tag byte 0x00 and the root node, nothing
// else. An XML file holds the indented XML document with its declaration.
// Readers tell them apart by the first byte: '<' is XML, anything else goes
// to parse_string, which knows the compact tag.
//
// Both forms are written to a temporary file beside the target (the target's
// own name with "0" in front, in the same directory, so rename stays within
// one file system), flushed and synced, and only then renamed over the
// target: a crash or a full disk never leaves the target half-written.

#include "message/message.h"

#include "support/exception.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kWriteSignature[] = "void Message::write_to_file(Message::ENC_FORMAT, const std::string &) const";
const char kReadSignature[] = "void Message::read_from_file(const std::string &)";
const char kParseFileSignature[] = "void Message::parse_file_xml(const std::string &)";
// Why an XML file that was read could not be taken in whole.
const char kRefused[] = "nested more than 256 levels deep, or holds a document type declaration";

// Message files are small; the cap keeps a stray path (a huge log, a disk
// image) from being pulled into memory whole.
constexpr long kMaxFileSize = 256L * 1024 * 1024;

// errno after a failed call, never 0, so an error text always follows.
int last_error()
{
    return errno != 0 ? errno : EIO;
}

// stdio stops at the first NUL; a path holding one would name another file.
bool usable_path(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

// Writes data to path through the temporary file; returns 0 or the error
// number of the first failing step. On failure the temporary file is removed
// and path is untouched.
int write_file_safely(const std::string& path, const std::string& data)
{
    if (!usable_path(path))
        return path.empty() ? ENOENT : EINVAL;
    const std::string::size_type slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return EISDIR;
    const std::string temp = dir + "0" + name;

    // A stale temporary file, or a link planted under its name, is removed
    // and the file made afresh, so the write cannot land in another file.
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return last_error();
    // The replacement keeps the access rights of the file it replaces.
    struct stat target;
    if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
        ::fchmod(fd, target.st_mode & 07777);
    FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        const int err = last_error();
        ::close(fd);
        ::unlink(temp.c_str());
        return err;
    }

    int err = 0;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f) != data.size())
        err = last_error();
    if (std::fflush(f) != 0 && err == 0)
        err = last_error();
    // Without the data on disk the rename below could leave an empty or
    // partial target after a crash.
    if (::fsync(fileno(f)) != 0 && err == 0)
        err = last_error();
    if (std::fclose(f) != 0 && err == 0)
        err = last_error();
    if (err == 0 && std::rename(temp.c_str(), path.c_str()) != 0)
        err = last_error();
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }

    // Make the rename itself durable; failing here loses nothing written.
    const std::string dir_path = dir.empty() ? std::string(".") : dir;
    const int dir_fd = ::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        ::fsync(dir_fd);
        ::close(dir_fd);
    }
    return 0;
}

// Reads the whole file at path into data; returns "" or the reason it could
// not. data is only filled when the whole file was read.
std::string read_file_whole(const std::string& path, std::string& data)
{
    if (!usable_path(path))
        return libipc_errstr_for(path.empty() ? ENOENT : EINVAL);
    // Without O_NONBLOCK opening a FIFO would wait for a writer forever;
    // regular files ignore the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return libipc_errstr_for(last_error());
    struct stat st;
    std::string why;
    if (::fstat(fd, &st) != 0)
        why = libipc_errstr_for(last_error());
    else if (S_ISDIR(st.st_mode))
        why = libipc_errstr_for(EISDIR);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    FILE* f = why.empty() ? ::fdopen(fd, "rb") : nullptr;
    if (!f) {
        if (why.empty())
            why = libipc_errstr_for(last_error());
        ::close(fd);
        return why;
    }

    long size = -1;
    if (std::fseek(f, 0, SEEK_END) != 0 || (size = std::ftell(f)) < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        why = libipc_errstr_for(last_error());
    } else if (size > kMaxFileSize) {
        why = libipc_errstr_for(EFBIG);
    } else if (size > 0) {
        std::string buffer(static_cast<std::size_t>(size), '\0');
        // A file that yields fewer bytes than its size (cut short under us,
        // or a kernel file) must not be decoded in part.
        if (std::fread(&buffer[0], 1, buffer.size(), f) != buffer.size())
            why = std::ferror(f) ? libipc_errstr_for(last_error()) : std::string("short read");
        else
            data.swap(buffer);
    }
    std::fclose(f);
    return why;
}

} // namespace

void Message::write_to_file(ENC_FORMAT fmt, const std::string& path) const
{
    std::string data;
    switch (fmt) {
    case ENC_COMPACT:
        build_string(ENC_COMPACT, data, true);
        break;
    case ENC_XML:
        build_string_xml(data, true);
        break;
    default:
        return;
    }
    const int err = write_file_safely(path, data);
    if (err != 0)
        throw Exception("%s: %s", kWriteSignature, libipc_errstr_for(err).c_str());
}

void Message::build_file_xml(const std::string& path, bool autoformat) const
{
    // Callers of this entry point get no report; write_to_file is the one
    // that tells. Either way the target is whole or untouched.
    std::string data;
    build_string_xml(data, autoformat);
    write_file_safely(path, data);
}

void Message::read_from_file(const std::string& path)
{
    std::string data;
    const std::string why = read_file_whole(path, data);
    if (!why.empty())
        throw Exception("%s: %s", kReadSignature, why.c_str());

    if (!data.empty() && data[0] == '<') {
        // As parse_file_xml: the message is not cleared, children are added.
        if (!add_file_xml(data))
            throw Exception("%s: %s", kReadSignature, kRefused);
        return;
    }
    parse_string(data);
}

void Message::parse_file_xml(const std::string& path)
{
    // A file that cannot be opened leaves the message as it is, unreported;
    // one that was read but cannot be taken in whole is an error.
    std::string data;
    if (read_file_whole(path, data).empty() && !add_file_xml(data))
        throw Exception("%s: %s", kParseFileSignature, kRefused);
}

bool Message::add_file_xml(const std::string& data)
{
    // Decoded into a copy, so that a refused file changes nothing.
    Message result(*this);
    if (!result.decode_xml(data, true))
        return false;
    m_name.swap(result.m_name);
    m_text.swap(result.m_text);
    std::swap(m_params, result.m_params);
    m_children.swap(result.m_children);
    return true;
}
