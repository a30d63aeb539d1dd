# The finished game on a pseudo-terminal, started by a shell with job control
# the way a player starts it: dash, which leaves the terminal's modes alone, or
# bash, whose line editor has the terminal in its own raw mode while it reads.
import io
import os
import re
import signal
import termios
import time
import unittest

import pexpect
import psutil

GAME = os.environ["REEDMERE_GAME"]
HEADER = "  1 2 3 4 5 6 7 8 9 0\r\n"
ENTER, LEAVE = "\x1b[?1049h", "\x1b[?1049l"  # the alternate screen
SET_FLAGS = "python3 -c 'import fcntl, os; fcntl.fcntl(0, fcntl.F_SETFL, {})'"
# The game with its terminal non-blocking, as another program on the terminal may leave it.
NONBLOCK = f"{SET_FLAGS.format('os.O_NONBLOCK')}; {{game}}; s=$?; {SET_FLAGS.format(0)}; (exit $s)"
ENDING = [getattr(signal, f"SIG{name}") for name in
          "TERM HUP QUIT USR1 USR2 ALRM VTALRM PROF XCPU XFSZ SEGV BUS FPE ILL ABRT TRAP SYS IO STKFLT PWR PIPE".split()]


class Shell(pexpect.spawn):
    def __init__(self, command, shell="/bin/sh", stty="min 4 -icrnl"):
        # The player's own stty asks for 4 bytes a read, and Enter's carriage
        # return is left untranslated (or is raw); one key and Enter must still
        # do. Python ignores SIGXFSZ, which a player's shell does not.
        super().__init__("/bin/sh", ["-c", f"stty {stty}; echo; read go; exec {shell} -i"], env={"PS1": "status=$? $ ", "PATH": os.defpath},
                         encoding="utf-8", timeout=10, preexec_fn=lambda: signal.signal(signal.SIGXFSZ, signal.SIG_DFL))
        self.logfile_read = io.StringIO()
        self.expect_exact("\n")
        self.sendline()
        self.expect_exact("$ ")
        self.modes = self.modes_now()  # as the shell keeps them at its prompt
        self.sendline(command.format(game=GAME))
        if command.endswith("&"):  # started in the background, where it waits for fg
            self.expect_exact("$ ")
            self.sendline("fg")

    def modes_now(self):
        return termios.tcgetattr(self.child_fd)

    def game(self):
        return psutil.Process(self.pid).children(recursive=True)[-1]  # setsid runs it as a grandchild

    def reach(self, phase):
        self.expect_exact("Press any key to start playing!", timeout=1)  # frames are not held back
        self.send("\0")  # one key (Ctrl-Space, a NUL), no Enter, stops the title, unechoed
        self.expect(pexpect.TIMEOUT, timeout=0.5)
        line_mode = self.modes_now()[3] & (termios.ICANON | termios.ECHO) == termios.ICANON | termios.ECHO
        assert line_mode and "^@" not in self.before, "the key was not taken alone, in line mode"
        self.send("\r")
        self.expect_exact(HEADER)
        written, shown = self.game().io_counters().write_count, time.monotonic()
        while time.monotonic() < shown + 0.25:  # a handled signal must not cut a pause short
            self.game().send_signal(signal.SIGCONT)
            time.sleep(0.01)
        self.expect_exact(HEADER)
        assert 0.3 <= time.monotonic() - shown <= 0.6, "a pond frame is not shown for 0.4 s"
        assert self.game().io_counters().write_count == written + 1, "not one write a frame, clear included"
        termios.tcsetattr(self.child_fd, termios.TCSANOW, self.modes)  # key mode lost, as bash's fg can lose it
        self.expect_exact(HEADER)
        assert not self.modes_now()[3] & termios.ECHO, "a lost key mode was not put back"
        if phase == "prompt":
            self.send("k\r")  # the rest of the key's line, queued in key mode, ends the line read
            self.expect_exact("your next move closely\r\nEnter column number: ")
        elif phase == "paused, key, then Enter":
            self.sendcontrol("s")  # the screen paused a second; a non-blocking one fails a write
            time.sleep(1)
            self.sendcontrol("q")
            self.expect_exact(HEADER)
            self.send("k")  # the covered pond is up before the line is ended
            self.expect_exact("your next move closely\r\n", timeout=0.5)
            self.send("\r")
            self.expect_exact("\r\nEnter column number: ")

    def stall(self):  # a slow terminal: nothing is read until a frame's write waits for it
        while open(f"/proc/{self.game().pid}/syscall").read().split()[0] != "1":  # write, on x86-64
            time.sleep(0.01)

    def suspend(self, then=None):  # Ctrl-Z, then a command at the shell's prompt
        self.sendcontrol("z")
        self.expect_exact("Stopped")
        self.expect_exact("$ ")
        assert self.modes_now() == self.modes, "the shell got a terminal in the game's mode"
        if then:
            self.sendline(then)


def stop_discarded(shell):
    shell.expect_exact("Press any key to start playing!")
    shell.sendcontrol("z")  # the game is its terminal's own program: no shell can take it back
    shell.send("x")  # 50 ms on (pexpect's delay before a send), long before the next key test
    shell.expect(pexpect.TIMEOUT, timeout=0.6)
    assert "x" not in shell.before, "Ctrl-Z left the game in line mode"
    shell.sendcontrol("c")


def every_ending_signal(shell):
    for sig in ENDING:
        shell.expect_exact("Press any key to start playing!")
        shell.game().send_signal(sig)
        shell.expect_exact(f"ended={128 + sig}\r\n")  # as the signal's default action would


def slow_screen(shell):
    shell.stall()  # the terminal's buffer fills, and a frame's write is cut short
    # In the background the game stops, not draws; the frame cut short is neither finished there nor drawn twice.
    shell.suspend(then="bg; sleep 0.6; fg")
    shell.expect_exact(ENTER)
    shell.sendcontrol("s")  # and a paused one
    shell.stall()
    shell.game().send_signal(signal.SIGTERM)
    time.sleep(0.1)
    shell.sendcontrol("q")  # a dying game waits a moment for a slow screen


def decline_after_a_cast(shell):
    shell.send("\x1b[A\x1b[H\x1bOP3 \x1b[200~4\x1b[201~\rno\r")  # keys that type nothing, and a bracketed paste
    shell.expect(r"Enter row number: .+\r\n", timeout=0.6)  # the outcome is up before the pause


def kill_suspended(shell):
    shell.send("3\r")
    shell.expect_exact("Enter row number: ")
    for redraw in (lambda: shell.setwinsize(30, 100), lambda: shell.suspend(then="fg")):
        redraw()  # a resize, then fg: the covered pond comes back once, with the prompts and the answer
        shell.expect_exact("your next move closely\r\nEnter column number: 3\r\nEnter row number: ")
        assert shell.before.count(HEADER) == 1, "not one covered pond redrawn"
    # What bash's kill %1 does; under tostop the dying game must not write.
    shell.suspend(then="stty tostop; kill %1; kill -CONT %1; sleep 0.5; wait %1; s=$?; stty -tostop; (exit $s)")


# (command, what happens, in which phase, expected status)
EVERY_WAY_OUT = [
    ("{game} --colour &", "started with & under bash, an argument ignored, Ctrl-C", "prompt", lambda s: s.sendcontrol("c"), 130),
    (f"ulimit -c 0; for g in $(seq {len(ENDING)}); do {{game}}; echo ended=$?; done", "every ending signal", None, every_ending_signal, 0),
    ("{game}", "stty raw igncr, Ctrl-C", "prompt", lambda s: s.sendcontrol("c"), 130),
    ("{game}", "a slow screen, Ctrl-Z, bg, fg, SIGTERM", "watching", slow_screen, 143),
    (NONBLOCK, "end of non-blocking input", "paused, key, then Enter", lambda s: s.sendcontrol("d"), 0),
    ("{game} </", "input unreadable", None, lambda s: s.expect_exact(LEAVE + "reedmere: read error: Is a directory"), 1),
    ("setsid -w env {game}", "not the controlling terminal", "prompt", decline_after_a_cast, 0),
    ("({game}; echo status=$? >&2) | head -c 9 | tr D d", "screen closed, the title first", None, lambda s: s.expect_exact("REEdMERE!"), 141),
    ('script -qec "{game}" /dev/null', "Ctrl-Z with no shell", None, stop_discarded, 130),
    ("{game}", "fg, then kill %1 when suspended", "prompt", kill_suspended, 143),
    ("{game} x -h", "-h", None, lambda s: s.expect_exact("Usage: reedmere [--help | --version]\r\n"), 0),
    ("{game} --version x", "--version", None, lambda s: s.expect_exact(f"\nreedmere {os.environ['REEDMERE_VERSION']}\r\n"), 0),
    ("{game} --help >/dev/full", "--help, disk full", None, lambda s: s.expect("write error: [^\r]+ space"), 1),
    ("printf '\\n\\n3 4\\nn\\n' | {game} >/dev/full", "disk full", None, lambda s: s.expect("write error: [^\r]+ space"), 1),
]


class Terminal(unittest.TestCase):
    def test_every_way_out_ends_the_game_and_gives_the_terminal_back(self):
        for command, fault, phase, strike, expected in EVERY_WAY_OUT:
            with self.subTest(fault, phase=phase):
                shell = Shell(command, "bash --norc" if "bash" in fault else "/bin/sh", "raw igncr" if "raw" in fault else "min 4 -icrnl")
                if phase:
                    shell.reach(phase)
                strike(shell)
                shell.expect(rf"status={expected}\b")  # the game's exit status, in the shell's prompt
                self.assertEqual(shell.modes_now(), shell.modes)
                # The player's screen is never drawn on: the game plays in the alternate one, and leaves it last.
                log = shell.logfile_read.getvalue()
                self.assertEqual(log.count(ENTER), log.count(LEAVE))
                outside = [log.split(ENTER)[0]] + [part.split(ENTER)[0] for part in log.split(LEAVE)[1:]]
                self.assertFalse([part for part in outside if "REEDMERE!" in part or "\x1b[34;1m~" in part])
                # No pond row drawn twice on one screen.
                self.assertLessEqual(max(len(re.findall(r"\n0 \x1b", screen)) for screen in log.split("\x1b[2J")), 1)
                shell.close(force=True)
