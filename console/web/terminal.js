// The page's terminal: xterm.js with xterm-pty's pseudo-terminal in
// JavaScript (echo, Backspace and Ctrl-C as on a real terminal), lent to one
// game after another. console_web.cpp is the game's side of it.
import "@xterm/xterm/css/xterm.css";
import { Terminal } from "@xterm/xterm";
import { Flags, openpty } from "xterm-pty";
import createReedmere from "reedmere-game";

// The signals a key can send that end the game, with their POSIX numbers.
const ENDING_SIGNALS = { SIGINT: 2, SIGQUIT: 3 };

const xterm = new Terminal({ rows: 24, cols: 100, cursorBlink: false });
xterm.open(document.getElementById("terminal"));
xterm.focus();
const { master, slave } = openpty();
xterm.loadAddon(master);
const lineMode = slave.ioctl("TCGETS");
const keyMode = { ...lineMode, lflag: lineMode.lflag & ~(Flags.ICANON | Flags.ECHO) };

// What one game sees of the terminal, until release().
function lend() {
  const waiting = new Set();
  const wake = () => waiting.forEach((resume) => resume());
  // Resolves when the terminal has news (a key, the end of input, a signal)
  // or after ms milliseconds, whichever comes first.
  const wait = (ms) =>
    new Promise((resolve) => {
      const resume = () => {
        clearTimeout(timer);
        waiting.delete(resume);
        resolve();
      };
      const timer = ms === undefined ? undefined : setTimeout(resume, ms);
      waiting.add(resume);
    });
  let endOfInput = false;
  const subscriptions = [
    // In line mode a line ended with nothing in it is Ctrl-D on an empty line.
    slave.onReadable(() => {
      if (!slave.readable && slave.ioctl("TCGETS").ICANON_P) endOfInput = true;
      wake();
    }),
    slave.onSignal((name) => {
      if (!(name in ENDING_SIGNALS)) return;
      terminal.signal = ENDING_SIGNALS[name];
      wake();
    }),
  ];
  const terminal = {
    signal: 0,
    setKeyMode: (on) => slave.ioctl("TCSETS", on ? keyMode : lineMode),
    keyPending: () => slave.readable || endOfInput,
    write: (bytes) => slave.write(Array.from(bytes)),
    sleep: async (ms) => {
      const until = performance.now() + ms;
      while (!terminal.signal && performance.now() < until) await wait(until - performance.now());
    },
    // Some bytes of what was typed; none at the end of input or on a signal.
    read: async (size) => {
      while (!slave.readable && !endOfInput && !terminal.signal) await wait();
      if (terminal.signal || !slave.readable) {
        endOfInput = false;
        return [];
      }
      return slave.read(size);
    },
    release: () => subscriptions.forEach((subscription) => subscription.dispose()),
  };
  return terminal;
}

// Between games, and while one loads, the terminal waits in key mode, so
// that a key pressed early is not held back in an unfinished line.
slave.ioctl("TCSETS", keyMode);

// Runs one game to its end, as a C runtime would: main, then exit with its
// status, which flushes the screen. Gives the exit status.
async function play() {
  const terminal = lend();
  try {
    const game = await createReedmere({ terminal });
    game._exit(await game.ccall("main", "number", ["number", "number"], [0, 0], { async: true }));
  } catch (thrown) {
    if (typeof thrown?.status !== "number") throw thrown;
    return thrown.status;
  } finally {
    terminal.release();
    slave.ioctl("TCSETS", keyMode);
  }
  return 0;
}

function anyKey() {
  slave.read();
  return new Promise((resolve) => {
    const subscription = slave.onReadable(() => {
      if (!slave.readable) return;
      slave.read();
      subscription.dispose();
      resolve();
    });
  });
}

async function playForever() {
  const status = document.getElementById("status");
  for (;;) {
    status.textContent = "";
    await play();
    // "\033[0m": the game may have ended in the middle of a coloured square.
    slave.write("\x1b[0m\r\nThe game has ended. Press any key for a new game.\r\n");
    status.textContent = "The game has ended. Press any key for a new game.";
    await anyKey();
    // "\033[H\033[2J": cursor home, erase the screen, as the game's own clear.
    slave.write("\x1b[H\x1b[2J");
  }
}

playForever();
