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
from pathlib import Path

import pexpect
import psutil

GAME = os.environ["REEDMERE_GAME"]
HEADER = "  1 2 3 4 5 6 7 8 9 0\r\n"
CLEAR = "\x1b[2J"
ENTER, LEAVE = "\x1b[?1049h", "\x1b[?1049l"  # the alternate screen
SET_FLAGS = "python3 -c 'import fcntl, os; fcntl.fcntl(0, fcntl.F_SETFL, {})'"
# The game with its terminal non-blocking, as another program on the terminal may leave it.
NONBLOCK = f"{SET_FLAGS.format('os.O_NONBLOCK')}; {{game}}; s=$?; {SET_FLAGS.format(0)}; (exit $s)"
NAMES = "TERM HUP QUIT USR1 USR2 ALRM VTALRM PROF XCPU XFSZ SEGV BUS FPE ILL ABRT TRAP SYS IO STKFLT PWR PIPE"
ENDING = [getattr(signal, f"SIG{name}") for name in NAMES.split()] + [signal.SIGRTMIN, signal.SIGRTMAX]


class Shell(pexpect.spawn):
    def __init__(self, command, shell="/bin/sh", stty="min 4 -icrnl"):
        # The player's own stty asks for 4 bytes a read, and Enter's carriage
        # return is left untranslated (or is raw); one key and Enter must still
        # do. Python ignores SIGXFSZ, which a player's shell does not.
        script = f"stty {stty}; echo; read go; exec {shell} -i"
        super().__init__(
            "/bin/sh",
            ["-c", script],
            env={"PS1": "status=$? $ ", "PATH": os.defpath},
            encoding="utf-8",
            timeout=10,
            preexec_fn=lambda: signal.signal(signal.SIGXFSZ, signal.SIG_DFL),
        )
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
        assert "^@" not in self.read_for(0.5), "the key was echoed"
        assert not self.modes_now()[3] & (termios.ICANON | termios.ECHO), "the terminal edits the game's line"
        self.send("\r")
        self.expect_exact(HEADER)
        started, seen = time.monotonic(), ""
        for _ in range(20):  # each continue may follow a SIGSTOP: each redraws, none cuts a frame short
            self.game().send_signal(signal.SIGCONT)
            seen += self.read_for(0.015)
        clears = (seen + self.read_for(started + 1 - time.monotonic())).count(CLEAR)
        assert 10 <= clears <= 20 + 3, "not a redraw a continue, and a frame each 0.4 s"
        self.expect_exact(HEADER)
        written, shown = self.game().io_counters().write_count, time.monotonic()
        self.expect_exact(HEADER)
        assert 0.3 <= time.monotonic() - shown <= 0.6, "a pond frame is not shown for 0.4 s"
        assert self.game().io_counters().write_count == written + 1, "not one write a frame, clear included"
        termios.tcsetattr(
            self.child_fd, termios.TCSANOW, self.modes
        )  # the game's mode lost to another program
        self.expect_exact(HEADER)
        assert not self.modes_now()[3] & termios.ECHO, "a lost mode was not put back"
        if phase == "prompt":
            self.send("k\r")  # the rest of the key's line, typed with it, ends the line read unechoed
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

    def read_for(self, seconds):  # all that comes in that time, left out of what expect searches
        until, text = time.monotonic() + seconds, ""
        while time.monotonic() < until:
            try:
                text += self.read_nonblocking(65536, until - time.monotonic())
            except pexpect.TIMEOUT:
                break
        return text

    def stall(self):  # a slow terminal: nothing is read until the game waits to write, in its one wait
        for _ in range(3000):
            call = Path(f"/proc/{self.game().pid}/syscall").read_text().split()
            if (
                call[0] in ("23", "270") and call[3] != "0x0"
            ):  # select or pselect6 on x86-64, with a write set
                return
            time.sleep(0.01)
        raise AssertionError("the game never waited for its screen")

    def suspend(self, then=None):  # Ctrl-Z, then a command at the shell's prompt
        self.sendcontrol("z")
        self.expect_exact("Stopped")
        self.expect_exact("$ ")
        assert self.modes_now() == self.modes, "the shell got a terminal in the game's mode"
        if then:
            self.sendline(then)

    def stop_unasked(self):  # SIGSTOP, which the game cannot see coming, then fg
        self.game().send_signal(signal.SIGSTOP)
        self.expect_exact("Stopped")
        self.expect_exact("$ ")
        self.sendline("fg")


def stop_discarded(shell):
    shell.expect_exact("Press any key to start playing!")
    shell.sendcontrol("z")  # the game is its terminal's own program: no shell can take it back
    shell.send("x")  # 50 ms on (pexpect's delay before a send), long before the next key test
    assert "x" not in shell.read_for(0.6), "Ctrl-Z left the terminal echoing"
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
    shell.sendcontrol(
        "s"
    )  # then paused, for good: a dying game drops what the screen holds up, and resumes it
    shell.stall()
    held_up = (
        shell.logfile_read.tell()
    )  # what the screen holds up arrives torn by the drop: no screen to check
    shell.game().send_signal(signal.SIGTERM)
    shell.expect_exact(LEAVE)
    shell.logfile_read.seek(held_up)
    shell.logfile_read.truncate()
    shell.logfile_read.write(LEAVE)


def interrupted_after_a_cast(shell):
    shell.send("\x1b[A\x1b[H\x1bOP3 \x1b[200~4\x1b[201~\r")  # keys that type nothing, and a bracketed paste
    shell.expect(r"Enter row number: .+\r\n", timeout=0.6)  # the outcome is up before the pause
    shell.sendcontrol("c")  # the kernel would send it to the terminal's own job: the game reads it


def the_prompts_line(shell):
    shell.send("\x1b5\r")  # Alt-5, then Enter: no number
    assert "Enter row number" not in shell.read_for(0.3), "Alt-5 was taken for a 5"
    shell.send("8\x157")  # a word killed with Ctrl-U, then 7, the line not ended
    shell.expect_exact("8\b \b7")
    for redraw in (lambda: shell.setwinsize(30, 100), lambda: shell.suspend(then="fg"), shell.stop_unasked):
        redraw()  # the covered pond comes back once, with the line being typed
        shell.expect_exact("your next move closely\r\nEnter column number:  \r\n7")
        assert shell.before.count(HEADER) == 1, "not one covered pond redrawn"
    shell.send("\b3\x1b[D4\r")  # the player's erase key (stty erase ^H), then 3, Left and 4
    shell.expect_exact("\b \b3 4\r\nEnter row number: ")
    shell.expect_exact("Enter Y to play again\r\n")
    shell.sendcontrol("s")  # a resize and Ctrl-Z on a paused screen: the game stops at once
    shell.setwinsize(24, 80)
    shell.suspend(then="fg")
    shell.expect_exact("Enter column number:  \r\n3 4\r\nEnter row number: ")  # as shown, not as read
    # What bash's kill %1 does; under tostop the dying game must not write.
    shell.suspend(
        then="stty tostop; kill %1; kill -CONT %1; sleep 0.5; wait %1; s=$?; stty -tostop; (exit $s)"
    )


def a_long_screen(shell):
    shell.send(("x" * 4000 + "\r") * 5)  # 20 KB of words that are no number: more than the kept screen holds
    shell.send("3 4\r")
    shell.expect_exact("x\r\n3 4\r\nEnter row number: ")
    shell.setwinsize(30, 100)  # the redraw keeps the newest lines, the prompts among them
    shell.expect_exact("x\r\n3 4\r\nEnter row number: ")
    shell.sendcontrol("c")


def orphaned(shell):
    time.sleep(1)  # long enough to have drawn over the shell, had the game drawn
    terminal = psutil.Process(shell.pid).terminal()
    games = [game for game in psutil.process_iter(["exe", "terminal"]) if game.info["exe"] == GAME]
    assert not [game for game in games if game.info["terminal"] == terminal], "an orphan lives on"


def says(text):  # the strike that only waits for what the game says
    return lambda shell: shell.expect_exact(text)


def disk_full(shell):
    shell.expect("write error: [^\r]+ space")


class Terminal(unittest.TestCase):
    """Each way a game can end: it must end with the status a shell expects and give the terminal back."""

    def play(self, command, phase, strike, status, shell="/bin/sh", stty="min 4 -icrnl"):
        shell = Shell(command, shell, stty)
        self.addCleanup(shell.close, force=True)
        if phase:
            shell.reach(phase)
        strike(shell)
        shell.expect(rf"status={status}\b")  # the game's exit status, in the shell's prompt
        self.assertEqual(shell.modes_now(), shell.modes)
        # The player's screen is never drawn on: the game plays in the alternate one, and leaves it last.
        log = shell.logfile_read.getvalue()
        self.assertEqual(log.count(ENTER), log.count(LEAVE))
        outside = [log.split(ENTER)[0]] + [part.split(ENTER)[0] for part in log.split(LEAVE)[1:]]
        self.assertFalse([part for part in outside if "REEDMERE!" in part or "\x1b[34;1m~" in part])
        # No pond row drawn twice on one screen.
        self.assertLessEqual(max(len(re.findall(r"\n0 \x1b", screen)) for screen in log.split(CLEAR)), 1)

    def test_started_with_an_ampersand_under_bash_an_argument_ignored_a_long_screen_then_ctrl_c(self):
        self.play("{game} --colour &", "prompt", a_long_screen, 130, shell="bash --norc")

    def test_every_ending_signal(self):
        every = f"ulimit -c 0; for g in $(seq {len(ENDING)}); do {{game}}; echo ended=$?; done"
        self.play(every, None, every_ending_signal, 0)

    def test_stty_raw_igncr_then_ctrl_c(self):
        self.play("{game}", "prompt", lambda shell: shell.sendcontrol("c"), 130, stty="raw igncr")

    def test_a_slow_screen_ctrl_z_bg_fg_then_sigterm_on_a_paused_one(self):
        self.play("{game}", "watching", slow_screen, 143)

    def test_the_end_of_a_non_blocking_input(self):
        self.play(NONBLOCK, "paused, key, then Enter", lambda shell: shell.sendcontrol("d"), 0)

    def test_a_closed_input(self):
        self.play("{game} <&-", None, says(LEAVE + "reedmere: read error: Bad file descriptor"), 1)

    def test_not_the_controlling_terminal(self):
        self.play("setsid -w sh -c '{game}; exit $?'", "prompt", interrupted_after_a_cast, 130)

    def test_orphaned_in_the_background(self):
        self.play("({game} </dev/tty &); sleep 1", None, orphaned, 0)

    def test_a_closed_screen_after_the_title(self):
        self.play("({game}; echo status=$? >&2) | head -c 9 | tr D d", None, says("REEdMERE!"), 141)

    def test_ctrl_z_with_no_shell(self):
        self.play('script -qec "{game}" /dev/null', None, stop_discarded, 130)

    def test_a_prompts_line_under_stty_erase_across_stops_and_resizes_then_kill(self):
        self.play("{game}", "prompt", the_prompts_line, 143, stty="min 4 -icrnl erase ^H")

    def test_options_and_a_full_disk(self):
        self.play("{game} x -h", None, says("Usage: reedmere [--help | --version]\r\n"), 0)
        self.play("{game} --version x", None, says(f"\nreedmere {os.environ['REEDMERE_VERSION']}\r\n"), 0)
        self.play("{game} --help >/dev/full", None, disk_full, 1)
        self.play("printf '\\n\\n3 4\\nn\\n' | {game} >/dev/full", None, disk_full, 1)
