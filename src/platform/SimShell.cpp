// The simulated board's command line: the logger's shell commands are
// parsed here, never handed to a shell. Board commands are emulated, file
// commands run with every path mapped into the sandbox, and the few
// pipelines the logger uses (into grep and awk, with "> file" at the end)
// are done in C++. Anything that could chain or substitute commands is
// refused, so a command cannot reach outside the sandbox.
#include "platform/SimBoard.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <regex.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Transplant.h"

namespace sim {
namespace {

constexpr int kMaxTokens = 32;
constexpr int kMaxSegments = 4;
constexpr std::size_t kTokenMax = 256;
constexpr std::size_t kCaptureMax = 1 << 20;

struct Token {
    char text[kTokenMax];
    bool quoted;
    bool glob;
};

struct Segment {
    int first;
    int count;
};

struct Parsed {
    Token tok[kMaxTokens];
    int ntok = 0;
    Segment seg[kMaxSegments];
    int nseg = 0;
    char redirect[kTokenMax] = "";
    bool append = false;
};

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Characters that would make a shell chain, substitute or read commands.
bool Forbidden(char c)
{
    return c == ';' || c == '&' || c == '`' || c == '$' || c == '(' || c == ')' || c == '<' || c == '\\' ||
           c == '\n' || c == '\r';
}

// True when s contains ".." as a whole path component.
bool ClimbsOut(const char *s)
{
    for (const char *p = std::strstr(s, ".."); p != nullptr; p = std::strstr(p + 1, "..")) {
        bool starts = p == s || p[-1] == '/' || p[-1] == '=';
        bool ends = p[2] == '\0' || p[2] == '/';
        if (starts && ends)
            return true;
    }
    return false;
}

// Reads one word (quotes allowed) starting at *pp into t; advances *pp.
// Returns 0, or -1 for a refused or malformed word.
int ReadWord(const char **pp, Token &t)
{
    const char *p = *pp;
    std::size_t n = 0;
    t.quoted = false;
    t.glob = false;
    while (*p != '\0' && !IsSpace(*p) && *p != '|' && *p != '>') {
        if (*p == '\'' || *p == '"') {
            char q = *p++;
            t.quoted = true;
            while (*p != '\0' && *p != q) {
                if (q == '"' && (*p == '$' || *p == '`' || *p == '\\'))
                    return -1;
                if (n + 1 >= kTokenMax)
                    return -1;
                t.text[n++] = *p++;
            }
            if (*p != q)
                return -1;
            ++p;
            continue;
        }
        if (Forbidden(*p) || (*p == '~' && n == 0))
            return -1;
        if (*p == '*' || *p == '?' || *p == '[')
            t.glob = true;
        if (n + 1 >= kTokenMax)
            return -1;
        t.text[n++] = *p++;
    }
    t.text[n] = '\0';
    *pp = p;
    return 0;
}

// Splits a command line into pipeline segments and a final redirection.
int Parse(const char *cmd, Parsed &ps)
{
    const char *p = cmd;
    ps.seg[0] = {0, 0};
    ps.nseg = 1;
    bool redirected = false;
    for (;;) {
        while (IsSpace(*p))
            ++p;
        if (*p == '\0')
            break;
        if (*p == '|') {
            if (redirected || ps.seg[ps.nseg - 1].count == 0 || ps.nseg == kMaxSegments)
                return -1;
            ++p;
            ps.seg[ps.nseg++] = {ps.ntok, 0};
            continue;
        }
        Segment &seg = ps.seg[ps.nseg - 1];
        bool toStderr = false;
        if (*p == '2' && p[1] == '>') {
            toStderr = true;
            ++p;
        }
        if (*p == '>') {
            bool append = p[1] == '>';
            p += append ? 2 : 1;
            if (toStderr && *p == '&' && (p[1] == '1' || p[1] == '2')) {
                p += 2; // error text goes where the emulation prints it
                continue;
            }
            while (IsSpace(*p))
                ++p;
            Token target;
            if (ReadWord(&p, target) != 0 || target.text[0] == '\0' || target.glob)
                return -1;
            if (ClimbsOut(target.text))
                return -1;
            if (toStderr)
                continue; // diagnostics are not kept in files
            if (redirected)
                return -1;
            redirected = true;
            ps.append = append;
            std::snprintf(ps.redirect, sizeof ps.redirect, "%s", target.text);
            continue;
        }
        if (toStderr)
            --p; // a plain word that starts with "2"
        if (ps.ntok == kMaxTokens)
            return -1;
        Token &t = ps.tok[ps.ntok];
        if (ReadWord(&p, t) != 0 || ClimbsOut(t.text))
            return -1;
        ++ps.ntok;
        ++seg.count;
    }
    if (ps.seg[ps.nseg - 1].count == 0)
        return ps.nseg == 1 && !redirected ? 1 : -1; // empty line: nothing to do
    return 0;
}

// The name the board would run: "/bin/mount" runs mount.
const char *BaseName(const char *arg0)
{
    for (const char *dir : {"/bin/", "/sbin/", "/usr/bin/", "/usr/sbin/"}) {
        std::size_t n = std::strlen(dir);
        if (std::strncmp(arg0, dir, n) == 0 && std::strchr(arg0 + n, '/') == nullptr)
            return arg0 + n;
    }
    return arg0;
}

bool CwdInSandbox()
{
    char cwd[TP_PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return false;
    std::size_t n = std::strlen(TpRoot());
    return std::strncmp(cwd, TpRoot(), n) == 0 && (cwd[n] == '\0' || cwd[n] == '/');
}

// Where a relative path of a command lands: the working directory when it
// lies in the sandbox (always so for komain), else the data partition.
void WorkDir(char *out, std::size_t len)
{
    if (CwdInSandbox() && getcwd(out, len) != nullptr)
        return;
    std::snprintf(out, len, "%s/mnt/nand3", TpRoot());
}

int MapArg(const char *arg, char *out, std::size_t len)
{
    if (arg[0] == '/')
        return TpMapPath(arg, out, len) != nullptr ? 0 : -1;
    char wd[TP_PATH_MAX];
    WorkDir(wd, sizeof wd);
    return std::snprintf(out, len, "%s/%s", wd, arg) < int(len) ? 0 : -1;
}

// Sandbox paths in a command's output read as board paths again.
void Unmap(std::string &text)
{
    std::string root(TpRoot());
    root += '/';
    for (std::size_t at = text.find(root); at != std::string::npos; at = text.find(root, at))
        text.erase(at, root.size() - 1);
}

void ReadAll(int fd, std::string &out)
{
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        if (out.size() < kCaptureMax)
            out.append(buf, std::size_t(n));
    }
}

int WaitChild(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 0; // children are reaped elsewhere: the status is lost
    }
    return status;
}

int ExitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

// The files cp, mv and touch wrote carry the simulated clock, as they
// would carry the board's clock.
void StampWritten(const char *name, const std::vector<std::string> &args)
{
    bool touch = std::strcmp(name, "touch") == 0;
    if (!touch && std::strcmp(name, "cp") != 0 && std::strcmp(name, "mv") != 0)
        return;
    std::vector<const std::string *> paths;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i][0] != '-')
            paths.push_back(&args[i]);
    if (touch) {
        for (const std::string *p : paths)
            StampNow(p->c_str());
        return;
    }
    if (paths.size() < 2)
        return;
    const std::string &dest = *paths.back();
    struct stat st;
    if (stat(dest.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        StampNow(dest.c_str());
        return;
    }
    for (std::size_t i = 0; i + 1 < paths.size(); ++i) {
        std::size_t slash = paths[i]->find_last_of('/');
        std::string base = slash == std::string::npos ? *paths[i] : paths[i]->substr(slash + 1);
        StampNow((dest + "/" + base).c_str());
    }
}

// Runs a host tool (rm, cp, ...) on mapped, glob-expanded arguments,
// without a shell, its output captured.
int RunTool(const char *name, const Parsed &ps, const Segment &seg, std::string &out)
{
    char exe[64];
    std::snprintf(exe, sizeof exe, "/bin/%s", name);
    if (access(exe, X_OK) != 0)
        std::snprintf(exe, sizeof exe, "/usr/bin/%s", name);
    bool cwdOk = CwdInSandbox();
    std::vector<std::string> args{name};
    bool modeArg = std::strcmp(name, "chmod") == 0;
    for (int i = seg.first + 1; i < seg.first + seg.count; ++i) {
        const Token &t = ps.tok[i];
        if (t.text[0] == '-') {
            if (std::strchr(t.text, '/') != nullptr || std::strchr(t.text, '=') != nullptr)
                return -1; // options that name a path are not mapped
            args.emplace_back(t.text);
            continue;
        }
        if (modeArg) {
            modeArg = false;
            if (std::strchr(t.text, '/') != nullptr)
                return -1;
            args.emplace_back(t.text);
            continue;
        }
        char mapped[TP_PATH_MAX];
        if (t.text[0] == '/' || !cwdOk) {
            if (MapArg(t.text, mapped, sizeof mapped) != 0)
                return -1;
        } else {
            std::snprintf(mapped, sizeof mapped, "%s", t.text);
        }
        if (!t.glob) {
            args.emplace_back(mapped);
            continue;
        }
        glob_t g{};
        if (glob(mapped, GLOB_NOCHECK, nullptr, &g) == 0)
            for (std::size_t k = 0; k < g.gl_pathc; ++k)
                args.emplace_back(g.gl_pathv[k]);
        globfree(&g);
    }
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    char wd[TP_PATH_MAX];
    WorkDir(wd, sizeof wd);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 1;
    int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        if (devnull >= 0)
            dup2(devnull, 0);
        if (chdir(wd) != 0)
            _exit(126);
        execv(exe, argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (devnull >= 0)
        close(devnull);
    if (pid < 0) {
        close(fds[0]);
        return 1;
    }
    ReadAll(fds[0], out);
    close(fds[0]);
    Unmap(out);
    int rc = ExitCode(WaitChild(pid));
    StampWritten(name, args);
    return rc;
}

int ReadInputFiles(const Parsed &ps, int from, int to, std::string &in)
{
    for (int i = from; i < to; ++i) {
        char mapped[TP_PATH_MAX];
        if (MapArg(ps.tok[i].text, mapped, sizeof mapped) != 0)
            return -1;
        int fd = open(mapped, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "%s: %s\n", ps.tok[i].text, std::strerror(errno));
            return 2;
        }
        ReadAll(fd, in);
        close(fd);
    }
    return 0;
}

template <typename F> void ForEachLine(const std::string &in, F f)
{
    std::size_t start = 0;
    while (start < in.size()) {
        std::size_t end = in.find('\n', start);
        if (end == std::string::npos)
            end = in.size();
        f(std::string_view(in).substr(start, end - start));
        start = end + 1;
    }
}

// grep [-v] [-i] [-c] [-q] [-F] [-E] PATTERN [FILE...]; the pattern is text,
// never a path.
int Grep(const Parsed &ps, const Segment &seg, const std::string &input, bool first, std::string &out)
{
    bool invert = false, icase = false, count = false, quiet = false, fixed = false, ext = false;
    int i = seg.first + 1, end = seg.first + seg.count;
    for (; i < end && ps.tok[i].text[0] == '-' && ps.tok[i].text[1] != '\0'; ++i) {
        for (const char *o = ps.tok[i].text + 1; *o; ++o) {
            switch (*o) {
            case 'v': invert = true; break;
            case 'i': icase = true; break;
            case 'c': count = true; break;
            case 'q': quiet = true; break;
            case 'F': fixed = true; break;
            case 'E': ext = true; break;
            default: std::fprintf(stderr, "grep: unsupported option -%c\n", *o); return 2;
            }
        }
    }
    if (i >= end) {
        std::fprintf(stderr, "grep: no pattern\n");
        return 2;
    }
    const char *pattern = ps.tok[i++].text;
    std::string fileInput;
    const std::string *src = &input;
    if (i < end || first) {
        if (int rc = ReadInputFiles(ps, i, end, fileInput); rc != 0)
            return rc < 0 ? 1 : rc;
        src = &fileInput;
    }
    regex_t re;
    if (!fixed && regcomp(&re, pattern, REG_NOSUB | (ext ? REG_EXTENDED : 0) | (icase ? REG_ICASE : 0)) != 0) {
        std::fprintf(stderr, "grep: bad regex '%s'\n", pattern);
        return 2;
    }
    long hits = 0;
    std::string line;
    ForEachLine(*src, [&](std::string_view l) {
        line.assign(l);
        bool m = fixed ? (icase ? strcasestr(line.c_str(), pattern) : std::strstr(line.c_str(), pattern)) != nullptr
                       : regexec(&re, line.c_str(), 0, nullptr, 0) == 0;
        if (m == invert)
            return;
        ++hits;
        if (!count && !quiet) {
            out += line;
            out += '\n';
        }
    });
    if (!fixed)
        regfree(&re);
    if (count && !quiet)
        out += std::to_string(hits) + "\n";
    return hits > 0 ? 0 : 1;
}

// awk [-F c] '{print ITEM,ITEM ...}' [FILE...] where an item is $N, $NF,
// NF or a "string"; a comma puts a blank between items.
int Awk(const Parsed &ps, const Segment &seg, const std::string &input, bool first, std::string &out)
{
    char sep = 0;
    int i = seg.first + 1, end = seg.first + seg.count;
    if (i < end && std::strncmp(ps.tok[i].text, "-F", 2) == 0) {
        const char *f = ps.tok[i].text + 2;
        if (*f == '\0' && ++i < end)
            f = ps.tok[i].text;
        sep = *f;
        ++i;
    }
    if (i >= end) {
        std::fprintf(stderr, "awk: no program\n");
        return 2;
    }
    std::string_view prog(ps.tok[i++].text);
    auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == ';'))
            s.remove_suffix(1);
        return s;
    };
    prog = trim(prog);
    if (prog.size() < 2 || prog.front() != '{' || prog.back() != '}') {
        std::fprintf(stderr, "awk: unsupported program\n");
        return 2;
    }
    prog = trim(prog.substr(1, prog.size() - 2));
    if (prog.substr(0, 5) != "print") {
        std::fprintf(stderr, "awk: unsupported program\n");
        return 2;
    }
    prog = trim(prog.substr(5));

    // The print list, checked once: field numbers (-1 = NF as a value,
    // -2 = $NF), literals, and separators.
    struct Item {
        int field;
        std::string_view literal;
        bool comma;
    };
    Item items[32];
    int nitems = 0;
    for (std::string_view rest = prog; !rest.empty();) {
        rest = trim(rest);
        if (rest.empty())
            break;
        if (nitems == 32)
            return 2;
        Item it{0, {}, false};
        if (rest.front() == ',') {
            it.comma = true;
            rest.remove_prefix(1);
        } else if (rest.front() == '"') {
            std::size_t close = rest.find('"', 1);
            if (close == std::string_view::npos)
                return 2;
            it.field = -3;
            it.literal = rest.substr(1, close - 1);
            rest.remove_prefix(close + 1);
        } else if (rest.substr(0, 3) == "$NF") {
            it.field = -2;
            rest.remove_prefix(3);
        } else if (rest.substr(0, 2) == "NF") {
            it.field = -1;
            rest.remove_prefix(2);
        } else if (rest.front() == '$' && rest.size() > 1 && rest[1] >= '0' && rest[1] <= '9') {
            rest.remove_prefix(1);
            int n = 0;
            while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9' && n < 10000) {
                n = n * 10 + (rest.front() - '0');
                rest.remove_prefix(1);
            }
            it.field = n;
        } else {
            std::fprintf(stderr, "awk: unsupported program\n");
            return 2;
        }
        items[nitems++] = it;
    }

    std::string fileInput;
    const std::string *src = &input;
    if (i < end || first) {
        if (int rc = ReadInputFiles(ps, i, end, fileInput); rc != 0)
            return rc < 0 ? 1 : rc;
        src = &fileInput;
    }
    ForEachLine(*src, [&](std::string_view line) {
        std::string_view fields[64];
        int nf = 0;
        std::size_t p = 0;
        while (p < line.size() && nf < 64) {
            if (sep == 0) {
                while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
                    ++p;
                if (p >= line.size())
                    break;
            }
            std::size_t q = p;
            while (q < line.size() && (sep == 0 ? line[q] != ' ' && line[q] != '\t' : line[q] != sep))
                ++q;
            fields[nf++] = line.substr(p, q - p);
            p = q + 1;
            if (sep != 0 && q == line.size())
                break;
        }
        if (nitems == 0) {
            out.append(line);
        }
        for (int k = 0; k < nitems; ++k) {
            const Item &it = items[k];
            if (it.comma)
                out += ' ';
            else if (it.field == -3)
                out.append(it.literal);
            else if (it.field == -1)
                out += std::to_string(nf);
            else if (it.field == -2)
                out.append(nf > 0 ? fields[nf - 1] : std::string_view());
            else if (it.field == 0)
                out.append(line);
            else if (it.field <= nf)
                out.append(fields[it.field - 1]);
        }
        out += '\n';
    });
    return 0;
}

int Echo(const Parsed &ps, const Segment &seg, std::string &out)
{
    bool newline = true;
    int i = seg.first + 1, end = seg.first + seg.count;
    for (; i < end && ps.tok[i].text[0] == '-'; ++i) {
        if (std::strcmp(ps.tok[i].text, "-n") == 0)
            newline = false;
        else if (std::strcmp(ps.tok[i].text, "-e") != 0)
            break;
    }
    for (int k = i; k < end; ++k) {
        if (k > i)
            out += ' ';
        out += ps.tok[k].text;
    }
    if (newline)
        out += '\n';
    return 0;
}

int Pwd(std::string &out)
{
    char wd[TP_PATH_MAX];
    WorkDir(wd, sizeof wd);
    std::size_t n = std::strlen(TpRoot());
    out += wd[n] == '\0' ? "/" : wd + n;
    out += '\n';
    return 0;
}

int Board(int (*cmd)(int, const char *const *, std::string &), const Parsed &ps, const Segment &seg,
          std::string &out)
{
    const char *argv[kMaxTokens + 1];
    for (int i = 0; i < seg.count; ++i)
        argv[i] = ps.tok[seg.first + i].text;
    argv[0] = BaseName(argv[0]);
    argv[seg.count] = nullptr;
    return cmd(seg.count, argv, out);
}

// Commands that only configure the board's kernel and network: logged and
// reported done.
constexpr const char *kNoOps[] = {"ifconfig", "route", "ip", "insmod", "rmmod", "mknod", "sync", "modprobe"};
constexpr const char *kTools[] = {"mkdir", "rm", "cp", "mv", "chmod", "ls", "cat", "touch"};

// The first command of a pipeline. -1: refused.
int RunFirst(const Parsed &ps, const Segment &seg, std::string &out)
{
    const char *name = BaseName(ps.tok[seg.first].text);
    if (std::strcmp(name, "reboot") == 0)
        TpReboot();
    // The board commands, emulated against the sandbox.
    static constexpr struct {
        const char *name;
        int (*cmd)(int, const char *const *, std::string &);
    } kBoard[] = {{"mount", CmdMount},     {"umount", CmdUmount}, {"df", CmdDf},
                  {"hwclock", CmdHwclock}, {"date", CmdDate},     {"uptime", CmdUptime}};
    for (const auto &b : kBoard)
        if (std::strcmp(name, b.name) == 0)
            return Board(b.cmd, ps, seg, out);
    if (std::strcmp(name, "echo") == 0)
        return Echo(ps, seg, out);
    if (std::strcmp(name, "pwd") == 0)
        return Pwd(out);
    if (std::strcmp(name, "grep") == 0)
        return Grep(ps, seg, std::string(), true, out);
    if (std::strcmp(name, "awk") == 0)
        return Awk(ps, seg, std::string(), true, out);
    for (const char *n : kNoOps)
        if (std::strcmp(name, n) == 0)
            return 0;
    for (const char *n : kTools)
        if (std::strcmp(name, n) == 0)
            return RunTool(n, ps, seg, out);
    std::fprintf(stderr, "sh: %s: not found\n", ps.tok[seg.first].text);
    return 127;
}

int WriteRedirect(const Parsed &ps, const std::string &text)
{
    if (std::strcmp(ps.redirect, "/dev/null") == 0)
        return 0;
    if (std::strncmp(ps.redirect, "/sys/class/gpio/", 16) == 0) {
        // A GPIO attribute takes one write, as echo does.
        return WriteAttr(ps.redirect, text.c_str()) == 0 ? 0 : 1;
    }
    char mapped[TP_PATH_MAX];
    if (MapArg(ps.redirect, mapped, sizeof mapped) != 0)
        return 1;
    int fd = open(mapped, O_WRONLY | O_CREAT | O_CLOEXEC | (ps.append ? O_APPEND : O_TRUNC), 0644);
    if (fd < 0) {
        std::fprintf(stderr, "sh: can't create %s: %s\n", ps.redirect, std::strerror(errno));
        return 1;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    StampFd(fd);
    close(fd);
    return done == text.size() ? 0 : 1;
}

} // namespace

void LogCommand(const char *cmd)
{
    int fd = TpOpen("/sim/commands.log", O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One line per command even when the text holds line breaks.
    char line[2048];
    std::size_t n = 0;
    for (const char *p = cmd; *p && n + 1 < sizeof line; ++p)
        line[n++] = (*p == '\n' || *p == '\r') ? ' ' : *p;
    line[n++] = '\n';
    ssize_t w = write(fd, line, n);
    (void)w;
    close(fd);
}

int RunCommand(const char *cmd, std::string *capture)
{
    LogCommand(cmd);
    Parsed ps;
    int rc = Parse(cmd, ps);
    if (rc > 0)
        return 0;
    if (rc < 0) {
        std::fprintf(stderr, "sim: refused command: %s\n", cmd);
        return 1;
    }
    std::string out, next;
    int status = RunFirst(ps, ps.seg[0], out);
    if (status < 0) {
        std::fprintf(stderr, "sim: refused command: %s\n", cmd);
        return 1;
    }
    for (int s = 1; s < ps.nseg; ++s) {
        const Segment &seg = ps.seg[s];
        const char *name = BaseName(ps.tok[seg.first].text);
        next.clear();
        if (std::strcmp(name, "grep") == 0) {
            status = Grep(ps, seg, out, false, next);
        } else if (std::strcmp(name, "awk") == 0) {
            status = Awk(ps, seg, out, false, next);
        } else if (std::strcmp(name, "cat") == 0 && seg.count == 1) {
            next = out;
            status = 0;
        } else {
            std::fprintf(stderr, "sh: %s: not found\n", ps.tok[seg.first].text);
            next.clear();
            status = 127;
        }
        out.swap(next);
    }
    if (ps.redirect[0] != '\0') {
        if (WriteRedirect(ps, out) != 0)
            return 1;
    } else if (capture != nullptr) {
        capture->append(out);
    } else if (!out.empty()) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }
    return status;
}

namespace {

// The operator's command with its absolute board paths moved into the
// sandbox; false (and nothing to run) when it would climb out of it.
bool MapOperatorCommand(const char *cmd, std::string &mapped)
{
    std::size_t rootLen = std::strlen(TpRoot());
    for (const char *p = cmd; *p; ++p) {
        char prev = p == cmd ? ' ' : p[-1];
        if (*p == '/' && std::strchr(" \t=<>|;&('\"`", prev) != nullptr && std::strncmp(p, TpRoot(), rootLen) != 0)
            mapped += TpRoot();
        mapped += *p;
    }
    for (const char *p = std::strstr(cmd, ".."); p != nullptr; p = std::strstr(p + 1, "..")) {
        bool starts = p == cmd || std::strchr(" \t/='\"", p[-1]) != nullptr;
        bool ends = p[2] == '\0' || std::strchr(" \t/'\";|&>", p[2]) != nullptr;
        if (starts && ends) {
            std::fprintf(stderr, "sim: refused command: %s\n", cmd);
            return false;
        }
    }
    return true;
}

} // namespace

int RunShell(const char *cmd)
{
    LogCommand(cmd);
    // Absolute board paths at the start of a word move into the sandbox.
    std::string mapped;
    if (!MapOperatorCommand(cmd, mapped))
        return 1 << 8;
    char wd[TP_PATH_MAX];
    WorkDir(wd, sizeof wd);
    const char *argv[] = {"sh", "-c", mapped.c_str(), nullptr};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(wd) != 0)
            _exit(126);
        execv("/bin/sh", const_cast<char *const *>(argv));
        _exit(127);
    }
    if (pid < 0)
        return -1;
    return WaitChild(pid);
}

int RunShellOutput(const char *cmd, int timeoutMs, char *tail, std::size_t tailLen)
{
    LogCommand(cmd);
    std::string mapped;
    if (!MapOperatorCommand(cmd, mapped))
        return -1;
    char wd[TP_PATH_MAX];
    WorkDir(wd, sizeof wd);
    const int n = ShellCapture(mapped.c_str(), wd, timeoutMs, tail, tailLen);
    if (n <= 0)
        return n;
    // The operator sees board paths, as on the board.
    std::string text(tail, std::size_t(n));
    Unmap(text);
    std::memcpy(tail, text.data(), text.size());
    return int(text.size());
}

namespace {

// Milliseconds of the host's monotonic clock.
long long MonotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Keeps the last `cap` bytes of a stream in `tail`.
struct Tail {
    char *buf;
    std::size_t cap;
    std::size_t kept = 0;

    void Add(const char *b, std::size_t n)
    {
        if (cap == 0)
            return;
        if (n >= cap) {
            std::memcpy(buf, b + n - cap, cap);
            kept = cap;
            return;
        }
        if (kept + n > cap) {
            const std::size_t drop = kept + n - cap;
            std::memmove(buf, buf + drop, kept - drop);
            kept -= drop;
        }
        std::memcpy(buf + kept, b, n);
        kept += n;
    }
};

// Reaps the shell; once the time is up, kills its process group first.
void ReapOrKill(pid_t pid, long long deadline)
{
    for (;;) {
        const pid_t r = waitpid(pid, nullptr, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return;
        if (MonotonicMs() >= deadline) {
            kill(-pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        usleep(10000);
    }
}

} // namespace

int ShellCapture(const char *text, const char *wd, int timeoutMs, char *tail, std::size_t tailLen)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so that a command that does not end is
        // ended with all it started; and it goes when we go.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(fds[1], 1);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        if (wd != nullptr && chdir(wd) != 0)
            _exit(126);
        execl("/bin/sh", "sh", "-c", text, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    setpgid(pid, pid);
    const long long deadline = MonotonicMs() + timeoutMs;
    Tail t {tail, tailLen};
    char buf[4096];
    for (;;) {
        const long long left = deadline - MonotonicMs();
        if (left <= 0)
            break;
        struct pollfd p {fds[0], POLLIN, 0};
        const int r = poll(&p, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        t.Add(buf, std::size_t(n));
    }
    close(fds[0]);
    ReapOrKill(pid, deadline);
    return int(t.kept);
}

} // namespace sim
