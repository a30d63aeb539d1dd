// The page's terminal: xterm.js with xterm-pty's pseudo-terminal in
// JavaScript (echo, Backspace and Ctrl-C as on a real terminal), lent to one
// game after another. console_web.cpp is the game's side of it.
import "@xterm/xterm/css/xterm.css";
import { Terminal } from "@xterm/xterm";
import { Flags, openpty } from "xterm-pty";
import createReedmere from "reedmere-game";
import { createNarrator } from "./narrator.js";

// The first game compiles while the page sets up its terminal: it is lent
// the terminal only when it starts (every later game is loaded then).
const loadGame = () => {
  const game = {};
  return { game, loaded: createReedmere(game) };
};
let firstGame = typeof WebAssembly === "object" ? loadGame() : null;

// The signals a key can send that end the game, with their POSIX numbers.
const ENDING_SIGNALS = { SIGINT: 2, SIGQUIT: 3 };
// What the keypad's named keys type, as a keyboard's keys would.
const KEYPAD = { Space: " ", Backspace: "\x7f", Enter: "\r", "End game": "\x03" };
// Ctrl with these is the game's: Ctrl-C (but for copying), Ctrl-D, Ctrl-U.
const GAME_CONTROL_KEYS = ["c", "d", "u"];
// Ctrl with these is a terminal player's habit, which means nothing here
// (no flow control, no job control) and must not open a save dialog either.
const INERT_CONTROL_KEYS = ["s", "q", "z"];
// The screen: the width of the game's longest line at most, and its 24 rows
// at most; fewer where the window is short, so that the cursor and the
// prompt above it stay in view, but never so few that nothing else shows.
const MIN_COLS = 21;
const MAX_COLS = 120;
const MIN_ROWS = 8;
const MAX_ROWS = 24;
// What the watching needs whole: the title line, the column header, the ten
// rows and the cursor's line below them, two columns a square.
const WATCHING_COLS = 22;
const WATCHING_ROWS = 13;
// Font sizes: as large as the whole screen allows, never below a readable
// floor (12 px on a phone, 15 px elsewhere) unless the watching would not
// fit otherwise, as on a window zoomed to 400 %.
const MIN_FONT = 6;
const MAX_FONT = 64;
const FONT_FAMILY = "courier-new, courier, monospace";
// The longest line a paste makes, with what is typed already: a whole line
// of a Linux terminal. Much more overflows the pseudo-terminal's stack.
const LINE_LIMIT = 4095;

// A keyboard is at hand unless the main pointer is a finger with no fine one
// beside it (a phone): on a desktop, a touch laptop, or with no pointer at
// all. The keypad comes wherever a touch screen is; both can be.
const keyboard = !matchMedia("(pointer: coarse)").matches || matchMedia("(any-pointer: fine)").matches;
const touch = matchMedia("(any-pointer: coarse)").matches || navigator.maxTouchPoints > 0;
document.body.classList.toggle("keyboard", keyboard);
document.body.classList.toggle("touch", touch);
const status = document.getElementById("status");
const element = document.getElementById("terminal");
const keypad = document.getElementById("keypad");

// While the game waits for any key (its title, the fish swimming, between
// games) the keypad is Enter and End game alone, so that the pond has its
// room; at a prompt every key comes back. It is one Tab stop, the arrows
// moving within it, as in any group of buttons; none where a keyboard types
// the same keys. The stop stays on a key that is shown.
const keys = [...keypad.querySelectorAll("button")];
const enterKey = keypad.querySelector("[data-key=Enter]");
let anyKeyOnly = false;
const offered = () => keys.filter((key) => !anyKeyOnly || key.classList.contains("always"));
function placeTabStop(stop) {
  keys.forEach((key) => (key.tabIndex = !keyboard && key === stop ? 0 : -1));
}
function offerAnyKey(on) {
  if (on === anyKeyOnly) return; // called on every frame: no restyle for nothing
  anyKeyOnly = on;
  document.body.classList.toggle("any-key", on);
  const stop = keys.find((key) => key.tabIndex === 0);
  if (!stop || offered().includes(stop)) return;
  placeTabStop(enterKey);
  if (document.activeElement === stop) enterKey.focus();
}
placeTabStop(keys[0]);
offerAnyKey(true); // as the terminal waits at first

// A cell of the terminal at a font size, measured as xterm.js measures it
// (text metrics on a canvas, which needs no layout), once a size.
const ruler = document.createElement("canvas").getContext("2d");
const cells = new Map();
function cellAt(fontSize) {
  if (!cells.has(fontSize)) {
    ruler.font = `${fontSize}px ${FONT_FAMILY}`;
    const metrics = ruler.measureText("W");
    const height = metrics.fontBoundingBoxAscent + metrics.fontBoundingBoxDescent || fontSize * 1.2;
    cells.set(fontSize, {
      width: metrics.width,
      height: Math.ceil(height * devicePixelRatio) / devicePixelRatio,
    });
  }
  return cells.get(fontSize);
}
// The terminal's room, read off the page in one go: its box's width, and the
// height the window leaves it (less the keypad's where that sits below, both
// as it is now and as it is while any key will do).
const within = (low, value, high) => Math.max(low, Math.min(high, value));
const pixels = (style, ...sides) => sides.reduce((sum, side) => sum + parseFloat(style[side]), 0);
function room() {
  const box = element.getBoundingClientRect();
  const style = getComputedStyle(element);
  const pad = keypad.getBoundingClientRect();
  const below = pad.height > 0 && pad.top >= box.bottom ? pad.top - box.bottom : -1;
  const height =
    innerHeight -
    (box.top + scrollY) -
    pixels(style, "paddingTop", "paddingBottom") -
    pixels(getComputedStyle(document.body), "paddingBottom");
  return {
    width: element.clientWidth - pixels(style, "paddingLeft", "paddingRight"),
    height: below < 0 ? height : height - (pad.bottom - box.bottom),
    heightAnyKey: below < 0 ? height : height - below - enterKey.offsetHeight,
  };
}
// The largest font that shows the game's 120 columns and 24 rows, or the
// floor, or less where the watching would not fit at the floor. A cell grows
// with the font in proportion, so one size's cell tells where to look.
function fontFor({ width, heightAnyKey }) {
  const unit = cellAt(100);
  const largest = (cols, rows) =>
    Math.floor(100 * Math.min(width / (cols * unit.width), heightAnyKey / (rows * unit.height)));
  const fits = (size, cols, rows) =>
    cols * cellAt(size).width <= width && rows * cellAt(size).height <= heightAnyKey;
  // The largest size from low to high that fits, or low.
  const search = (cols, rows, low, high) => {
    let size = within(low, largest(cols, rows) + 1, high);
    while (size > low && !fits(size, cols, rows)) size -= 1;
    return size;
  };
  const floor = Math.min(innerWidth, innerHeight) < 500 ? 12 : 15;
  const grown = search(MAX_COLS, MAX_ROWS, floor, MAX_FONT);
  return fits(grown, WATCHING_COLS, WATCHING_ROWS)
    ? grown
    : search(WATCHING_COLS, WATCHING_ROWS, MIN_FONT, grown);
}
function sizeFor(space) {
  const fontSize = fontFor(space);
  const cell = cellAt(fontSize);
  return {
    fontSize,
    cols: within(MIN_COLS, Math.floor(space.width / cell.width), MAX_COLS),
    rows: within(MIN_ROWS, Math.floor(space.height / cell.height), MAX_ROWS),
  };
}

// No scrollback: every screen is drawn whole, and a scroll bar would take a
// column. Made at its size, so that the first frame is drawn once.
const size = sizeFor(room());
const xterm = new Terminal({
  rows: size.rows,
  cols: size.cols,
  cursorBlink: false,
  scrollback: 0,
  fontSize: size.fontSize,
  fontFamily: FONT_FAMILY,
});
xterm.open(element);
// "\033[?1047l", the normal screen (which it is already): xterm.js shows no
// cursor until its terminal has had the focus or met such a switch, and a
// phone plays by the keypad, the terminal never focused.
xterm.write("\x1b[?1047l");

// Fitted again whenever the window, the terminal's box or the keypad changes
// size: measured as the change is laid out, and changed (when anything is)
// before the next frame, so that a new size is laid out once.
function refit() {
  const { fontSize, cols, rows } = sizeFor(room());
  if (fontSize === xterm.options.fontSize && cols === xterm.cols && rows === xterm.rows) return;
  requestAnimationFrame(() => {
    xterm.options.fontSize = fontSize;
    xterm.resize(cols, rows);
  });
}
const resizes = new ResizeObserver(refit);
resizes.observe(element);
resizes.observe(keypad);
addEventListener("resize", refit);

// Where the keyboard is, the page says so whenever the terminal does not have it.
const focusNote = document.getElementById("focus-note");
// Back in the terminal, its top is in view: a player never scrolls to find the pond.
if (keyboard) xterm.focus(); // a phone's soft keyboard would cover the pond: it comes with a tap on the terminal
focusNote.hidden = !keyboard || document.activeElement === xterm.textarea;
xterm.textarea.addEventListener("focus", () => {
  focusNote.hidden = true;
  requestAnimationFrame(() => scrollBy(0, Math.min(0, Math.floor(element.getBoundingClientRect().top))));
});
xterm.textarea.addEventListener("blur", () => (focusNote.hidden = !keyboard));
element.addEventListener("click", () => xterm.focus()); // the note over it included

// A tap types its key as the keyboard would, through the pseudo-terminal,
// and leaves the focus (and any soft keyboard) where it was.
keypad.addEventListener("pointerdown", (event) => event.preventDefault());
const KEYPAD_MOVES = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1 };
keypad.addEventListener("keydown", (event) => {
  const shown = offered();
  const at = shown.indexOf(document.activeElement);
  if (at < 0 || !(event.key in KEYPAD_MOVES)) return;
  event.preventDefault();
  const next = shown[(at + KEYPAD_MOVES[event.key] + shown.length) % shown.length];
  placeTabStop(next);
  next.focus();
});
keypad.addEventListener("click", (event) => {
  const button = event.target.closest("button");
  if (button) xterm.input(KEYPAD[button.dataset.key] ?? button.textContent.toLowerCase(), true);
});

// Only the keys the game uses reach it: characters (AltGr's included),
// Enter, Backspace and the game's Ctrl keys. Every other key or combination
// is the browser's, neither typed nor cancelled: Tab moves on, Ctrl-V
// pastes, Ctrl-C copies a selection, Ctrl-R reloads; arrows, Escape and the
// function keys type nothing.
let softKey = false; // a soft keyboard's key is down: its character comes as input
xterm.attachCustomKeyEventHandler((event) => {
  const key = event.key.toLowerCase();
  const ctrlOnly = event.ctrlKey && !event.altKey && !event.metaKey && !event.shiftKey;
  if (ctrlOnly && INERT_CONTROL_KEYS.includes(key)) {
    event.preventDefault();
    return false;
  }
  if (ctrlOnly) return GAME_CONTROL_KEYS.includes(key) && !(key === "c" && xterm.hasSelection());
  if (event.keyCode === 229) softKey = event.type === "keydown";
  const altGr = event.ctrlKey && event.altKey;
  if ((event.altKey || event.metaKey) && !altGr) return false;
  return event.key.length === 1 || event.key === "Enter" || event.key === "Backspace";
});
// A soft keyboard (Android's) sends a key as "Unidentified" and its character
// as input afterwards; xterm.js would look for it only in a moment of its own.
xterm.textarea.addEventListener("input", (event) => {
  if (!softKey || event.inputType !== "insertText" || !event.data || event.isComposing) return;
  softKey = false;
  xterm.input(event.data, true);
});
// How long the line being typed is, and a paste cut where a terminal's line would end.
let lineLength = 0;
const endsLine = (character) => "\r\n\x03\x04\x15".includes(character);
const afterTyping = (length, character) =>
  endsLine(character) ? 0 : character === "\x7f" ? Math.max(0, length - 1) : length + 1;
xterm.onData((data) => {
  for (const character of data) lineLength = afterTyping(lineLength, character);
});
function cutToLines(text) {
  let length = lineLength;
  let kept = "";
  for (const character of text) {
    if (!endsLine(character) && length >= LINE_LIMIT) continue;
    length = afterTyping(length, character);
    kept += character;
  }
  return kept;
}
element.addEventListener(
  "paste",
  (event) => {
    event.preventDefault();
    event.stopImmediatePropagation();
    xterm.paste(cutToLines(event.clipboardData.getData("text/plain")));
  },
  true,
);

// The screen-reader switch: what the game says, and where the fish are, as
// text; off, nothing is announced.
const narration = document.getElementById("narration");
const readerSwitch = document.getElementById("screen-reader");
const showNarration = () => (narration.hidden = !readerSwitch.checked);
showNarration(); // the box as it is: a browser may have restored it on a reload
const narrator = createNarrator(
  document.getElementById("said"),
  document.getElementById("fish"),
  () => !narration.hidden,
);
readerSwitch.addEventListener("change", () => {
  showNarration();
  if (readerSwitch.checked) narrator.startSpeaking();
});

const { master, slave } = openpty();
xterm.loadAddon(master);
const lineMode = slave.ioctl("TCGETS");
const keyMode = { ...lineMode, lflag: lineMode.lflag & ~(Flags.ICANON | Flags.ECHO) };
// Key mode (any key) or line mode (a prompt), and the keypad to match.
function setKeyMode(on) {
  slave.ioctl("TCSETS", on ? keyMode : lineMode);
  offerAnyKey(on);
}

const END_OF_INPUT = -1;

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
  // What was typed and not yet read, in order, each end of input where it
  // came: the pseudo-terminal only says that one came, not where.
  const typed = slave.read();
  const subscriptions = [
    // In line mode a line ended with nothing in it is Ctrl-D on an empty line.
    slave.onReadable(() => {
      const bytes = slave.read();
      if (bytes.length > 0) typed.push(...bytes);
      else if (slave.ioctl("TCGETS").ICANON_P) typed.push(END_OF_INPUT);
      wake();
    }),
    slave.onSignal((name) => {
      if (!(name in ENDING_SIGNALS)) return;
      terminal.signal = ENDING_SIGNALS[name];
      wake();
    }),
  ];
  // A line the game read to its end and then waited again, without a word,
  // after a prompt: an answer not taken, which the narrator says.
  let line = "";
  let answer = "";
  let lineUnanswered = false;
  let prompted = false;
  // A key other than Enter stopped the title or the pond: the game waits
  // for the rest of its line, which the narrator says plainly.
  let waitsForEnter = false;
  const terminal = {
    signal: 0,
    setKeyMode: (on) => {
      setKeyMode(on);
      waitsForEnter = !on && !typed.includes(13) && !typed.includes(10);
    },
    keyPending: () => typed.length > 0,
    write: (bytes) => {
      if (bytes.length === 0) return; // a flush with nothing in it
      slave.write(Array.from(bytes));
      narrator.hear(bytes);
      prompted = /(: |again\n)$/.test(String.fromCharCode(...bytes.subarray(-8)));
      lineUnanswered = false;
    },
    sleep: async (ms) => {
      const until = performance.now() + ms;
      while (!terminal.signal && performance.now() < until) await wait(until - performance.now());
    },
    // Some bytes of what was typed; none at the end of input or on a signal.
    read: async (size) => {
      if (typed.length === 0) {
        if (lineUnanswered && prompted) narrator.note(`Not taken: ${answer.trim() || "an empty line"}.`);
        if (waitsForEnter) narrator.note("Press Enter to go on.");
        waitsForEnter = false;
      }
      lineUnanswered = false;
      while (typed.length === 0 && !terminal.signal) await wait();
      if (terminal.signal) return [];
      const end = typed.indexOf(END_OF_INPUT);
      if (end === 0) typed.shift();
      const bytes = typed.splice(0, Math.min(size, end < 0 ? typed.length : end));
      for (const byte of bytes) {
        lineUnanswered = byte === 10;
        if (lineUnanswered) answer = line;
        line = lineUnanswered ? "" : line + String.fromCharCode(byte);
      }
      return bytes;
    },
    release: () => subscriptions.forEach((subscription) => subscription.dispose()),
  };
  return terminal;
}

// Between games, and while one loads, the terminal waits in key mode, so
// that a key pressed early is not held back in an unfinished line.
setKeyMode(true);

// Runs one game to its end, as a C runtime would: main, then exit with its
// status, which flushes the screen. Gives the exit status.
async function play() {
  const terminal = lend();
  narrator.newGame();
  try {
    const { game, loaded } = firstGame ?? loadGame();
    firstGame = null;
    game.terminal = terminal;
    await loaded;
    game._exit(await game.ccall("main", "number", ["number", "number"], [0, 0], { async: true }));
  } catch (thrown) {
    if (typeof thrown?.status !== "number") throw thrown;
    return thrown.status;
  } finally {
    terminal.release();
    setKeyMode(true);
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
    const ended = "The game has ended. Press any key for a new game.";
    slave.write(`\x1b[0m\r\n${ended}\r\n`);
    status.textContent = ended;
    await anyKey();
    // "\033[H\033[2J": cursor home, erase the screen, as the game's own clear.
    slave.write("\x1b[H\x1b[2J");
  }
}

playForever();
