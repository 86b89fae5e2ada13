#include "services/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace tav::process {

namespace process_detail {

// Children nobody waits for. The SIGCHLD handler reaps the ones that ended; each new run also
// sweeps, for a child that ended before its pid was recorded here.
constexpr int DETACHED_SLOTS = 256;
std::atomic<pid_t> detached[DETACHED_SLOTS];
std::atomic<bool> handler_installed{false};

void reap_detached() {
  for (auto& slot : detached) {
    pid_t pid = slot.load(std::memory_order_relaxed);
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) slot.store(0, std::memory_order_relaxed);
  }
}

void on_child_ended(int) {
  int saved = errno;
  reap_detached();
  errno = saved;
}

void install_reaper() {
  if (handler_installed.exchange(true)) return;
  struct sigaction current {};
  sigaction(SIGCHLD, nullptr, &current);
  // A host that handles SIGCHLD itself keeps its handler; the sweeps still reap ours.
  if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO)) return;
  struct sigaction sa {};
  sa.sa_handler = on_child_ended;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigaction(SIGCHLD, &sa, nullptr);
}

void detach(pid_t pid) {
  install_reaper();
  for (auto& slot : detached) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) {
      reap_detached();
      return;
    }
  }
  // Every slot is taken by a child still running: wait for this one rather than leak it.
  reap_detached();
  waitpid(pid, nullptr, 0);
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int64_t wait_status(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Spawns argv[0] (searched in PATH when search) with the file actions and default signal
// dispositions and an empty signal mask, so an ignored SIGPIPE does not reach the child.
// Answers 0 or the error of the start, the exec's own included (ENOENT for a program that is
// not there); a child whose exec failed has already been reaped.
int spawn(pid_t* pid, const char* path, char* const argv[], posix_spawn_file_actions_t* fa,
           bool search) {
  posix_spawnattr_t attr;
  int rc = posix_spawnattr_init(&attr);
  if (rc != 0) return rc;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  rc = search ? posix_spawnp(pid, path, fa, &attr, argv, environ)
                  : posix_spawn(pid, path, fa, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  return rc;
}

bool has_nul(const std::string& s) { return s.find('\0') != std::string::npos; }

// Feeds the input pipe and drains the output pipes together until all are closed.
void pump(int& in_fd, const std::string& input, int& out_fd, std::string* out, int& err_fd,
          std::string* err) {
  size_t written = 0;
  if (in_fd >= 0) {
    if (input.empty()) close_fd(in_fd);
    else fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
  }
  char chunk[65536];
  while (in_fd >= 0 || out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3];
    int n = 0, in_at = -1, out_at = -1, err_at = -1;
    if (in_fd >= 0) { in_at = n; fds[n++] = {in_fd, POLLOUT, 0}; }
    if (out_fd >= 0) { out_at = n; fds[n++] = {out_fd, POLLIN, 0}; }
    if (err_fd >= 0) { err_at = n; fds[n++] = {err_fd, POLLIN, 0}; }
    if (poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in_at >= 0 && fds[in_at].revents) {
      ssize_t k = ::write(in_fd, input.data() + written, input.size() - written);
      if (k > 0) written += static_cast<size_t>(k);
      // A child that stops reading (EPIPE) just gets no more input.
      if ((k < 0 && errno != EAGAIN && errno != EINTR) || written == input.size())
        close_fd(in_fd);
    }
    int* readers[2] = {&out_fd, &err_fd};
    std::string* sinks[2] = {out, err};
    int at[2] = {out_at, err_at};
    for (int r = 0; r < 2; ++r) {
      if (at[r] < 0 || !fds[at[r]].revents) continue;
      ssize_t k = ::read(*readers[r], chunk, sizeof chunk);
      if (k > 0) sinks[r]->append(chunk, static_cast<size_t>(k));
      else if (k == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(*readers[r]);
    }
  }
  close_fd(in_fd);
  close_fd(out_fd);
  close_fd(err_fd);
}

}  // namespace process_detail

bool split_command(const std::string& line, std::vector<std::string>* words) {
  words->clear();
  std::string word;
  bool in_word = false;
  size_t k = 0, n = line.size();
  while (k < n) {
    char c = line[k];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (in_word) words->push_back(word);
      word.clear();
      in_word = false;
      ++k;
      continue;
    }
    bool was_in_word = in_word;
    in_word = true;
    if (c == '\'') {
      size_t close = line.find('\'', k + 1);
      if (close == std::string::npos) return false;
      word.append(line, k + 1, close - k - 1);
      k = close + 1;
    } else if (c == '"') {
      for (++k;; ++k) {
        if (k >= n) return false;
        char d = line[k];
        if (d == '"') break;
        if (d == '\\' && k + 1 < n && line[k + 1] != '\0' && std::strchr("$`\"\\\n", line[k + 1])) {
          if (line[++k] != '\n') word += line[k];
          continue;
        }
        word += d;
      }
      ++k;
    } else if (c == '\\') {
      if (k + 1 >= n) return false;
      // A line feed after a backslash only continues the line.
      if (line[k + 1] != '\n') word += line[k + 1];
      else in_word = was_in_word;
      k += 2;
    } else {
      word += c;
      ++k;
    }
  }
  if (in_word) words->push_back(word);
  return true;
}

int64_t run(Request& request) {
  using namespace process_detail;
  reap_detached();
  if (has_nul(request.command)) return -1;
  posix_spawn_file_actions_t fa;
  if (posix_spawn_file_actions_init(&fa) != 0) return -1;
  // Parent ends of the pipes, and the child's ends or files (closed once it started).
  int in_parent = -1, out_parent = -1, err_parent = -1;
  int child_fds[3] = {-1, -1, -1};
  auto cleanup = [&] {
    posix_spawn_file_actions_destroy(&fa);
    for (int& fd : child_fds) close_fd(fd);
  };
  auto fail = [&] {
    cleanup();
    close_fd(in_parent);
    close_fd(out_parent);
    close_fd(err_parent);
    return int64_t(-1);
  };

  const Redirect& in = request.input;
  if (in.kind == Redirect::FILE) {
    if (has_nul(in.text)) return fail();
    child_fds[0] = ::open(in.text.c_str(), O_RDONLY | O_CLOEXEC);
    if (child_fds[0] < 0) return fail();
  } else if (in.kind == Redirect::BYTES) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return fail();
    child_fds[0] = p[0];
    in_parent = p[1];
  }
  if (child_fds[0] >= 0) posix_spawn_file_actions_adddup2(&fa, child_fds[0], 0);

  Redirect* outs[2] = {&request.output, &request.error};
  int* parents[2] = {&out_parent, &err_parent};
  for (int k = 0; k < 2; ++k) {
    int target = k + 1;
    Redirect& r = *outs[k];
    if (r.kind == Redirect::FILE && !has_nul(r.text)) {
      child_fds[target] = ::open(r.text.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } else if (r.kind == Redirect::BYTES) {
      r.text.clear();
      int p[2];
      if (pipe2(p, O_CLOEXEC) != 0) return fail();
      *parents[k] = p[0];
      child_fds[target] = p[1];
    }
    if (child_fds[target] >= 0)
      posix_spawn_file_actions_adddup2(&fa, child_fds[target], target);
    else
      posix_spawn_file_actions_addopen(&fa, target, "/dev/null", O_WRONLY, 0);
  }

  pid_t pid = 0;
  int rc = ENOENT;
  std::vector<std::string> words;
  if (!request.shell && split_command(request.command, &words) && !words.empty()) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    rc = spawn(&pid, argv[0], argv.data(), &fa, true);
  }
  // Not a program (a built-in, shell syntax, an unfinished quote): the shell gets the line,
  // and reports what it cannot run itself (status 127).
  if (rc == ENOENT) {
    std::string command = request.command;
    char sh[] = "sh", dash_c[] = "-c";
    char* argv[] = {sh, dash_c, command.data(), nullptr};
    rc = spawn(&pid, "/bin/sh", argv, &fa, false);
  }
  if (rc != 0) return fail();
  cleanup();

  bool redirected = in.kind != Redirect::NONE || request.output.kind != Redirect::NONE ||
                    request.error.kind != Redirect::NONE;
  pump(in_parent, in.text, out_parent,
       request.output.kind == Redirect::BYTES ? &request.output.text : nullptr, err_parent,
       request.error.kind == Redirect::BYTES ? &request.error.text : nullptr);
  if (request.wait || redirected) return wait_status(pid);
  detach(pid);
  return pid;
}

bool open_with_desktop(const std::string& target) {
  using namespace process_detail;
  reap_detached();
  if (has_nul(target)) return false;
  posix_spawn_file_actions_t fa;
  if (posix_spawn_file_actions_init(&fa) != 0) return false;
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::string name = "xdg-open", arg = target;
  char* argv[] = {name.data(), arg.data(), nullptr};
  pid_t pid = 0;
  bool ok = spawn(&pid, "xdg-open", argv, &fa, true) == 0;
  posix_spawn_file_actions_destroy(&fa);
  if (ok) detach(pid);
  return ok;
}

}  // namespace tav::process
