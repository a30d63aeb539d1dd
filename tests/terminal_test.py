# The finished game on a pseudo-terminal, started by a shell with job control
# (dash, which leaves the terminal's modes alone) the way a player starts it.
import os
import re
import signal
import termios
import time
import unittest

import pexpect

GAME = os.environ["REEDMERE_GAME"]
HEADER = "  1 2 3 4 5 6 7 8 9 0\r\n"
COVERED = "your next move closely\r\nEnter column number: "


class Shell:
    def __init__(self, command):
        self.sh = pexpect.spawn("/bin/sh", ["-i"], env={"PS1": "$ ", "PATH": os.defpath}, encoding="utf-8")
        self.sh.expect_exact("$ ")
        # The player's own stty asks for 4 bytes a read; one key must still do.
        self.sh.sendline("stty min 4")
        self.sh.expect_exact("$ ")
        self.modes = termios.tcgetattr(self.sh.child_fd)
        self.sh.sendline(command.format(game=GAME))

    def modes_now(self):
        return termios.tcgetattr(self.sh.child_fd)

    def game_pid(self):
        with open(f"/proc/{self.sh.pid}/task/{self.sh.pid}/children") as children:
            return int(children.read().split()[0])

    def reach(self, phase):
        self.sh.expect_exact("Press any key to start playing!", timeout=1)  # frames are not held back
        for keys, shows in [("\r", HEADER), ("\r", COVERED)][: ["title", "watching", "prompt"].index(phase)]:
            self.sh.send(keys)
            self.sh.expect_exact(shows)

    def status(self):
        self.sh.expect_exact("$ ")
        if "status=" not in self.sh.before:
            self.sh.sendline("echo status=$?")
            self.sh.expect_exact("$ ")
        return int(re.search(r"status=(\d+)", self.sh.before).group(1))

    def suspend(self):
        self.sh.sendcontrol("z")
        self.sh.expect_exact("Stopped")
        self.sh.expect_exact("$ ")
        assert self.modes_now() == self.modes, "the shell got a terminal in key mode"


def fg_puts_key_mode_back(shell):
    shell.suspend()
    shell.sh.sendline("fg")
    shell.sh.expect_exact(HEADER)
    assert not shell.modes_now()[3] & termios.ECHO, "fg did not put key mode back"
    shell.sh.sendcontrol("c")


def kill_suspended(shell):
    shell.suspend()
    # What bash's kill %1 does to a stopped job.
    shell.sh.sendline("kill %1; kill -CONT %1; sleep 0.5; wait %1")


def end_at_title(shell):
    shell.sh.send("\x04")  # the first Ctrl-D is only a key
    time.sleep(0.5)
    shell.sh.sendcontrol("d")


def signal_game(sig):
    return lambda shell: os.kill(shell.game_pid(), sig)


# (command, what happens, in which phase, expected status)
EVERY_WAY_OUT = [
    ("{game}", "Ctrl-C", "watching", lambda s: s.sh.sendcontrol("c"), 130),
    ("{game}", "Ctrl-C", "prompt", lambda s: s.sh.sendcontrol("c"), 130),
    ("{game}", "SIGTERM", "watching", signal_game(signal.SIGTERM), 143),
    ("{game}", "SIGTERM", "prompt", signal_game(signal.SIGTERM), 143),
    ("{game}", "SIGHUP", "watching", signal_game(signal.SIGHUP), 129),
    ("{game}", "SIGQUIT", "prompt", signal_game(signal.SIGQUIT), 131),
    ("{game}", "end of input", "title", end_at_title, 0),
    ("{game}", "end of input", "prompt", lambda s: s.sh.sendcontrol("d"), 0),
    ("{game}", "declined replay", "prompt", lambda s: s.sh.send("3 4\rno\r"), 0),
    ("({game}; echo status=$? >&2) | true", "screen closed", None, lambda s: None, 141),
    ("{game}", "Ctrl-Z, then fg", "watching", fg_puts_key_mode_back, 130),
    ("{game}", "kill %1 when suspended", "watching", kill_suspended, 143),
]


class Terminal(unittest.TestCase):
    def test_every_way_out_ends_the_game_and_gives_the_terminal_back(self):
        for command, fault, phase, strike, expected in EVERY_WAY_OUT:
            with self.subTest(fault, phase=phase):
                shell = Shell(command)
                if phase:
                    shell.reach(phase)
                strike(shell)
                self.assertEqual(shell.status(), expected)
                self.assertEqual(shell.modes_now(), shell.modes)
                shell.sh.sendline("jobs")
                self.assertEqual(shell.sh.expect_exact(["Stopped", "$ "]), 1)
                shell.sh.close(force=True)

    def test_a_catch_and_a_game_over_under_valgrind(self):
        log = f"/tmp/reedmere-valgrind-{os.getpid()}.log"
        # --fair-sched: valgrind's default thread lock would add writes of its own.
        shell = Shell(f"valgrind --fair-sched=yes --error-exitcode=99 --log-file={log} {{game}}")
        shell.sh.expect_exact("Press any key to start playing!", timeout=20)
        game = shell.game_pid()
        shell.sh.send("x")  # one key, no Enter: the title stops, unechoed
        shell.sh.expect(pexpect.TIMEOUT, timeout=0.6)
        quiet = shell.sh.before
        shell.sh.expect(pexpect.TIMEOUT, timeout=0.6)
        self.assertEqual(shell.sh.before, quiet, "the title ran on")
        self.assertNotIn("x", quiet)
        shell.sh.send("\r")
        for onto_fish, again in [(True, "y"), (False, "no")]:
            shell.sh.expect_exact(HEADER)
            writes = self.writes(game)
            frames = []
            for _ in range(4):
                shell.sh.expect_exact("REEDMERE!")
                frames.append(time.monotonic())
            self.assertEqual(self.writes(game) - writes, 4, "one write a frame, clear included")
            gaps = [later - earlier for earlier, later in zip(frames, frames[1:])]
            self.assertTrue(all(0.38 < gap < 0.6 for gap in gaps), gaps)
            shell.sh.expect_exact(HEADER)
            # Enter alone covers the pond: the key is still there for the line read.
            shell.sh.send("\r")
            shell.sh.expect_exact(COVERED, timeout=1)
            shell.sh.send(self.cast_last_seen(shell.sh.before, "F" if onto_fish else "~"))
            shell.sh.expect_exact("\r\nEnter Y to play again")
            self.assertEqual("You really screwed up" in shell.sh.before, not onto_fish)
            shell.sh.send(again + "\r")
        self.assertEqual(shell.status(), 0)
        self.assertEqual(shell.modes_now(), shell.modes)
        with open(log) as report:
            self.assertIn("total heap usage: 0 allocs", report.read())
        os.remove(log)

    @staticmethod
    def writes(pid):
        with open(f"/proc/{pid}/io") as io:
            return int(re.search(r"syscw: (\d+)", io.read()).group(1))

    @staticmethod
    def cast_last_seen(screen, square):
        last_pond = (HEADER + screen).split("REEDMERE!")[-2].split(HEADER)[1]
        rows = [line.split()[1:] for line in re.sub(r"\x1b\[[0-9;]*m", "", last_pond).split("\r\n")[:10]]
        row = next(i for i, squares in enumerate(rows) if square in squares)
        return f"{(rows[row].index(square) + 1) % 10} {(row + 1) % 10}\r"


if __name__ == "__main__":
    unittest.main()
