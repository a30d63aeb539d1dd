# The finished game on a pseudo-terminal, started by a shell with job control
# (dash, which leaves the terminal's modes alone) the way a player starts it.
import os
import re
import signal
import termios
import time
import unittest

import pexpect

# Any heap allocation ends the game, with SIGABRT, under this preload.
GAME = f"LD_PRELOAD={os.environ['REEDMERE_NO_HEAP']} {os.environ['REEDMERE_GAME']}"
HEADER = "  1 2 3 4 5 6 7 8 9 0\r\n"
SET_FLAGS = "python3 -c 'import fcntl, os; fcntl.fcntl(0, fcntl.F_SETFL, {})'"
# The game with its input non-blocking, as another program on the terminal may leave it.
NONBLOCK = f"{SET_FLAGS.format('os.O_NONBLOCK')}; {{game}}; s=$?; {SET_FLAGS.format(0)}; (exit $s)"


class Shell(pexpect.spawn):
    def __init__(self, command):
        # The player's own stty asks for 4 bytes a read; one key must still do.
        shell = "stty min 4; exec /bin/sh -i"
        super().__init__("/bin/sh", ["-c", shell], env={"PS1": "status=$? $ ", "PATH": os.defpath}, encoding="utf-8", timeout=10)
        self.expect_exact("$ ")
        self.modes = self.modes_now()
        self.sendline(command.format(game=GAME))

    def modes_now(self):
        return termios.tcgetattr(self.child_fd)

    def game_pid(self):
        with open(f"/proc/{self.pid}/task/{self.pid}/children") as children:
            return int(children.read().split()[0])

    def writes(self):
        with open(f"/proc/{self.game_pid()}/io") as io:
            return int(re.search(r"syscw: (\d+)", io.read()).group(1))

    def reach(self, phase):
        self.expect_exact("Press any key to start playing!", timeout=1)  # frames are not held back
        assert self.modes_now() != self.modes, "the title waits for a key in line mode"
        self.send("\0")  # one key (Ctrl-Space, a NUL), no Enter, stops the title, unechoed
        self.expect(pexpect.TIMEOUT, timeout=0.5)
        assert self.modes_now() == self.modes and "^@" not in self.before, "the key was not taken alone"
        self.send("\r")
        self.expect_exact(HEADER)
        written, shown = self.writes(), time.monotonic()
        while time.monotonic() < shown + 0.25:  # a handled signal must not cut a pause short
            os.kill(self.game_pid(), signal.SIGCONT)
            time.sleep(0.01)
        self.expect_exact(HEADER)
        assert 0.3 <= time.monotonic() - shown <= 0.6, "a pond frame is not shown for 0.4 s"
        assert self.writes() == written + 1, "not one write a frame, clear included"
        termios.tcsetattr(self.child_fd, termios.TCSANOW, self.modes)  # key mode lost, as bash's fg can lose it
        self.expect_exact(HEADER)
        assert not self.modes_now()[3] & termios.ECHO, "a lost key mode was not put back"
        if phase == "prompt":
            self.send("k\r")  # the rest of the key's line, queued in key mode, ends the line read
            self.expect_exact("your next move closely\r\nEnter column number: ")
        elif phase == "key, then Enter":  # the covered pond is up before the line is ended
            self.send("k")
            self.expect_exact("your next move closely\r\n", timeout=0.5)
            self.send("\r")
            self.expect_exact("\r\nEnter column number: ")

    def suspend(self):
        self.sendcontrol("z")
        self.expect_exact("Stopped")
        self.expect_exact("$ ")
        assert self.modes_now() == self.modes, "the shell got a terminal in key mode"


def background_and_back(shell):
    shell.suspend()
    shell.sendline("bg; sleep 0.6; echo hello | tr h H")  # in the background the game stops, not draws
    shell.expect_exact("Hello\r\n")
    assert HEADER not in shell.before, "the game drew in the background"
    shell.sendline("fg")
    shell.expect_exact(HEADER)
    assert not shell.modes_now()[3] & termios.ECHO, "fg did not put key mode back"
    shell.sendcontrol("c")


def stop_discarded(shell):
    shell.expect_exact("Press any key to start playing!")
    shell.sendcontrol("z")  # the game is its terminal's own program: no shell can take it back
    time.sleep(0.02)  # long before the next key test would put key mode back
    shell.send("x")
    shell.expect(pexpect.TIMEOUT, timeout=0.6)
    assert "x" not in shell.before, "Ctrl-Z left the game in line mode"
    shell.sendcontrol("c")


def decline_after_a_cast(shell):
    shell.send("3 4\rno\r")
    shell.expect(r"Enter row number: .+\r\n", timeout=0.6)  # the outcome stays up during the pause
    outcome = time.monotonic()
    shell.expect_exact("Enter Y to play again")
    assert 0.9 <= time.monotonic() - outcome <= 1.5, "the pause before the replay prompt is not 1 s"


def kill_suspended(shell):
    shell.suspend()
    # What bash's kill %1 does; under tostop the dying game must not write.
    shell.sendline("stty tostop; kill %1; kill -CONT %1; sleep 0.5; wait %1; s=$?; stty -tostop; (exit $s)")


# (command, what happens, in which phase, expected status)
EVERY_WAY_OUT = [
    ("{game} --colour", "Ctrl-C, an argument ignored", "watching", lambda s: s.sendcontrol("c"), 130),
    ("{game}", "Ctrl-C", "prompt", lambda s: s.sendcontrol("c"), 130),
    ("{game}", "SIGTERM", "watching", lambda s: os.kill(s.game_pid(), signal.SIGTERM), 143),
    ("{game}", "SIGHUP", "watching", lambda s: os.kill(s.game_pid(), signal.SIGHUP), 129),
    ("{game}", "SIGQUIT", "watching", lambda s: os.kill(s.game_pid(), signal.SIGQUIT), 131),
    (NONBLOCK, "end of non-blocking input", "key, then Enter", lambda s: s.sendcontrol("d"), 0),
    ("{game} <&-", "input closed", None, lambda s: s.expect_exact("reedmere: read error: Bad file descriptor"), 1),
    ("{game}", "declined replay", "prompt", decline_after_a_cast, 0),
    ("({game}; echo status=$? >&2) | true", "screen closed", None, lambda s: None, 141),
    ("{game}", "Ctrl-Z, bg, fg", "watching", background_and_back, 130),
    ('script -qec "{game}" /dev/null', "Ctrl-Z with no shell", None, stop_discarded, 130),
    ("{game}", "kill %1 when suspended", "watching", kill_suspended, 143),
    ("{game} x -h", "-h", None, lambda s: s.expect_exact("Usage: reedmere [--help | --version]\r\n"), 0),
    ("{game} --version x", "--version", None, lambda s: s.expect_exact(f"\nreedmere {os.environ['REEDMERE_VERSION']}\r\n"), 0),
    ("{game} --help >/dev/full", "--help, disk full", None, lambda s: s.expect("write error: .+ space"), 1),
    ("printf '\\n\\n3 4\\nn\\n' | {game} >/dev/full", "disk full", None, lambda s: s.expect("write error: .+ space"), 1),
]


class Terminal(unittest.TestCase):
    def test_every_way_out_ends_the_game_and_gives_the_terminal_back(self):
        for command, fault, phase, strike, expected in EVERY_WAY_OUT:
            with self.subTest(fault, phase=phase):
                shell = Shell(command)
                if phase:
                    shell.reach(phase)
                strike(shell)
                shell.expect(r"status=(\d+)")  # the game's exit status, in the shell's prompt
                self.assertEqual(int(shell.match.group(1)), expected)
                self.assertEqual(shell.modes_now(), shell.modes)
                shell.close(force=True)
