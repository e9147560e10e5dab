#pragma once

#include <chrono>
#include <cstddef>

namespace dovrel {

// The times and counts the worker goes by, in one table: every wait on the
// host or the display, and every bound on what the host may make it hold.
// The program runs on the defaults; a test starts from them too and shortens
// what it needs. Bounds that belong to a format or a buffer (a line of the
// host's text kept for its words, a batch of option replies) stand beside
// the code they bound.
// Every "quiet" counts from the moment the host has acknowledged all that was
// typed, not from when it was handed to the socket.
struct Limits {
  using ms = std::chrono::milliseconds;

  // Longest wait for the name lookup: a resolver that has not answered in
  // 10 s (two tries at its usual 5 s) will not.
  ms lookupLimit{10000};
  // Longest wait for the connection: 10 s is ample for a SYN-ACK from
  // anywhere on Earth; past it the kernel would retry for two minutes
  // against a host that is down or a route that is gone.
  ms connectLimit{10000};
  // Longest wait for any one read from the host: long enough for a loaded
  // host's login program, short enough that a dead one is given up on.
  ms readLimit{5000};
  // Longest wait for the host to acknowledge what was typed, counted from
  // the typing: a lossy link retransmits within a few seconds; a host that
  // acknowledges nothing for 10 s is gone. With the read limit, it bounds
  // how long a run outlasts the host's last byte: 10 s + 5 s.
  ms ackLimit{10000};
  // How often the send queue is looked at while the host has not yet
  // acknowledged all.
  ms ackPoll{10};
  // Quiet after text ending in a shell prompt character. Short, because it is
  // safe to type early from then on: a login program throws typed input away
  // once, right after it reads the password, before it prints anything more.
  ms promptQuiet{20};
  // Quiet after other text: taken as a shell that prints no usual prompt.
  ms textQuiet{1000};
  // A user name typed at a "login:" that was not the prompt is typed again
  // when the new prompt has stood this long: a login program that took the
  // first one after all answers with its echo or "Password:" sooner.
  ms loginAgainQuiet{500};
  // User names typed in all before a further "login:" prompt is a failure.
  int userNameTries{2};
  // Longest from the connection to the shell's prompt: each read has its
  // own limit, but a host that sends a byte now and then would hold the
  // launch for ever. The slowest real host measured (a 200 ms link with
  // jitter and loss) logs in within a few seconds, and a login program takes
  // 3 to 4 s to refuse a password: 30 s leaves room for a loaded host.
  ms loginLimit{30000};
  // Longest watch for the terminal after the command line: a window on a
  // plain link comes within a second; ten leave room for a busy host.
  ms watchLimit{10000};
  // The watch reads the host in slices this long, looking at the display
  // between them.
  ms watchSlice{50};
  // A shell quiet this long at a fresh prompt, with no echo of the command
  // line, never read it: the line is typed once more.
  ms freshPromptQuiet{300};
  // Quiet that ends the final drain when the launch was taken on trust (the
  // window could not be watched), and that counts as "nothing against it".
  ms drainQuiet{2000};
  // Quiet that ends the session once the outcome is known: time for "exit"
  // to reach the shell, nothing more is waited for.
  ms seenQuiet{200};
  // Longest wait for the watch's own X connection before the command line
  // is typed: a local X server answers at once; a stalled one is not waited
  // for (the watch goes on trying beside the session).
  ms xConnectLimit{500};
  // The drain reads at most this many bytes at a time.
  std::size_t drainChunk{100};
  // Longest wait for the display's TCP port before the login: an X server on
  // this machine answers at once; a firewall that drops the probe would
  // otherwise hold the login up.
  ms probeLimit{2000};
  // A new X connection from the host that stays open this long is a terminal
  // that was let in: an X server closes a client it refuses at once.
  ms lastingConnection{2000};
  // The system's socket table is read at most this often during the watch.
  ms socketTablePeriod{100};
  // Longest wait for the relay of an earlier launch to answer a request to
  // join: a relay of this user's answers at once; one that does not is not
  // joined.
  ms joinAnswerLimit{1000};
  // Longest the form's teardown waits for a worker that holds a connection,
  // which it closes at once on the abort; a worker without one is resolving
  // the name or finishing, and is given the second, shorter wait.
  ms teardownConnected{10000};
  // Over ssh: longest from ssh's start to its login, the user's time in
  // the host-key box not counted. It covers the name lookup and every hop,
  // which ssh's own ConnectTimeout does not; a host that falls silent
  // while logging in is given up on within it.
  ms sshLoginLimit{15000};
  // How long ssh itself waits for the first connection (ConnectTimeout),
  // and how often it asks a logged-in host for a sign of life, how many
  // unanswered before it gives up: about a minute, so that a short blip on
  // the network does not kill a working terminal.
  int sshConnectSeconds{10};
  int sshAliveSeconds{15};
  int sshAliveCount{4};
  // The ssh client's last words after it was told to end.
  ms sshEndLimit{1000};
  // ssh -G reads only the user's configuration: it answers at once.
  ms sshConfigLimit{5000};
  // The askpass helper sends its question in one write as it connects.
  ms askpassRequestLimit{1000};
  ms teardownIdle{100};
};

// The relay's own bounds: what a host may make it hold.
struct RelayLimits {
  using ms = std::chrono::milliseconds;

  // Longest wait for a client's connection-setup request: an X client sends
  // it at once; one that sends nothing is not an X client worth holding.
  ms setupLimit{5000};
  // Connections open at once: a terminal and the programs started from it
  // use a few; more is a host trying to wear the relay down.
  std::size_t maxConnections{16};
  // Connections that have not finished their setup request: at the cap, a
  // new one closes the oldest of them, so idle connections cannot lock the
  // terminal out.
  std::size_t maxUnfinishedSetups{4};
  // Room per direction of each admitted connection: enough for an image's
  // worth of bulk requests in one read. 16 connections of two such pipes
  // stay within a user's default pipe quota.
  std::size_t pipeCapacity{std::size_t{1024} * 1024};
  // How long a launch that ended before its terminal connected still admits
  // it (the box says it may still appear), and how long the port stays
  // bound, refusing, after the last launch's end or admitted connection, so
  // that no other account takes it for a terminal that comes late.
  ms lateGrace{120000};
  // After a launch's last admitted connection closes, new ones with its
  // cookie are admitted this long only: a program started from the terminal
  // as it exits.
  ms reopenWindow{5000};
  // Out of descriptors with no connection of its own to close, the relay
  // looks at its listener again this often.
  ms pauseWithoutDescriptors{1000};
  // Connections taken from the backlog in one round: the setups already
  // waiting are read before more are let in to compete with them.
  std::size_t acceptsPerRound{8};
};

}  // namespace dovrel
