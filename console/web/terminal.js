// The page's terminal: xterm.js with xterm-pty's pseudo-terminal in
// JavaScript (echo, Backspace and Ctrl-C as on a real terminal), lent to one
// game after another. console_web.cpp is the game's side of it.
import "@xterm/xterm/css/xterm.css";
import { FitAddon } from "@xterm/addon-fit";
import { Terminal } from "@xterm/xterm";
import { Flags, openpty } from "xterm-pty";
import createReedmere from "reedmere-game";

// The signals a key can send that end the game, with their POSIX numbers.
const ENDING_SIGNALS = { SIGINT: 2, SIGQUIT: 3 };
// What the keypad's named keys type, as a keyboard's keys would.
const KEYPAD = { Space: " ", Backspace: "\x7f", Enter: "\r", "End game": "\x03" };
// Keys that mean nothing to the game: they type nothing.
const SILENT_KEYS = /^(Arrow\w+|Home|End|PageUp|PageDown|Insert|Delete|Escape|Tab|F\d+)$/;
// The most a paste types: a whole line of a Linux terminal. Much more
// overflows the pseudo-terminal's stack.
const PASTE_LIMIT = 4095;

const touch = matchMedia("(pointer: coarse)").matches || navigator.maxTouchPoints > 0;
document.body.classList.toggle("touch", touch);
const status = document.getElementById("status");
const element = document.getElementById("terminal");
// A phone gets a smaller font, never under 12 px, so that the pond fits with room.
const fontSize = () => (Math.min(innerWidth, innerHeight) < 500 ? 12 : 15);
// No scrollback: every screen is drawn whole, and a scroll bar would take a
// column. Narrow at first, so that a phone does not widen its page for it.
const xterm = new Terminal({ rows: 24, cols: 21, cursorBlink: false, scrollback: 0, fontSize: fontSize() });
const fit = new FitAddon();
xterm.loadAddon(fit);
xterm.open(element);

// As many columns as the terminal's box has room for, up to the 100 of the
// game's longest line; below that long lines wrap, as on a narrow terminal.
// Measured once a new font size has been laid out.
new ResizeObserver(() => {
  xterm.options.fontSize = fontSize();
  requestAnimationFrame(() => {
    const room = fit.proposeDimensions();
    if (room) xterm.resize(Math.max(21, Math.min(100, room.cols)), 24);
  });
}).observe(element);

// Where the keyboard is, the page says so whenever the terminal does not have it.
const focusNote = document.getElementById("focus-note");
xterm.textarea.addEventListener("focus", () => (focusNote.hidden = true));
xterm.textarea.addEventListener("blur", () => (focusNote.hidden = touch));
element.addEventListener("click", () => xterm.focus()); // the note over it included
if (!touch) xterm.focus(); // a phone's soft keyboard would cover the pond: it comes with a tap on the terminal
focusNote.hidden = touch || document.activeElement === xterm.textarea;

// A tap types its key as the keyboard would, through the pseudo-terminal,
// and leaves the focus (and any soft keyboard) where it was.
const keypad = document.getElementById("keypad");
keypad.addEventListener("pointerdown", (event) => event.preventDefault());
keypad.addEventListener("click", (event) => {
  const button = event.target.closest("button");
  if (button) xterm.input(KEYPAD[button.dataset.key] ?? button.textContent.toLowerCase(), true);
});

// The browser's habits: Ctrl-V (Cmd-V) pastes, Ctrl-C copies while text is
// selected. A page has no flow control (Ctrl-S, Ctrl-Q) and no job control
// (Ctrl-Z), and Tab stays in the terminal.
xterm.attachCustomKeyEventHandler((event) => {
  const control = event.ctrlKey || event.metaKey;
  const key = event.key.toLowerCase();
  if (control && (key === "v" || (key === "c" && xterm.hasSelection()))) return false;
  const noFlowOrJobControl = control && ["s", "q", "z"].includes(key);
  if (noFlowOrJobControl || event.key === "Tab") event.preventDefault(); // no save dialog, no focus moving off
  return !noFlowOrJobControl && !SILENT_KEYS.test(event.key);
});
element.addEventListener(
  "paste",
  (event) => {
    event.preventDefault();
    event.stopImmediatePropagation();
    xterm.paste(event.clipboardData.getData("text/plain").slice(0, PASTE_LIMIT));
  },
  true,
);

document.getElementById("screen-reader").addEventListener("change", (event) => {
  xterm.options.screenReaderMode = event.target.checked;
});

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

// Said in the terminal and the status line, so that nothing fails silently.
function fail(what) {
  const words = `${what} Reloading the page tries again.`;
  status.textContent = words;
  slave.write(`\x1b[0m\r\n${words}\r\n`);
}

async function playForever() {
  if (typeof WebAssembly !== "object") {
    fail("This browser cannot run the game: its WebAssembly is missing or switched off.");
    return;
  }
  for (;;) {
    status.textContent = "";
    try {
      await play();
    } catch (error) {
      fail(`The game could not be loaded, or stopped with an error (${error?.message ?? error}).`);
      return;
    }
    // "\033[0m": the game may have ended in the middle of a coloured square.
    slave.write("\x1b[0m\r\nThe game has ended. Press any key for a new game.\r\n");
    status.textContent = "The game has ended. Press any key for a new game.";
    await anyKey();
    // "\033[H\033[2J": cursor home, erase the screen, as the game's own clear.
    slave.write("\x1b[H\x1b[2J");
  }
}

playForever();
