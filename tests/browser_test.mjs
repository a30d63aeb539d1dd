// The one-file page in headless Chromium, opened from disk and played with
// real key presses and taps; the screen is read from the terminal's rows on
// the page. Scroll bars take room, as they do on Windows or in Firefox.
import assert from "node:assert/strict";
import { after, test } from "node:test";
import puppeteer, { KnownDevices } from "puppeteer-core";

const PAGE = `file://${process.env.REEDMERE_PAGE}`;
const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox"],
  ignoreDefaultArgs: ["--hide-scrollbars"],
});
let page = await browser.newPage(); // Firefox's, in the last test
await page.setViewport({ width: 1280, height: 720 });
const errors = [];
page.on("pageerror", (error) => errors.push(error.message));
page.on("console", (message) => message.type() === "error" && errors.push(message.text())); // caught, and said

after(() => browser.close());
// Counts the game's writes to the terminal: each copies its bytes out of the WebAssembly memory with one slice.
// A touch laptop: a touch screen, and a keyboard. Which Ctrl, Alt or Meta keys the page cancels is noted.
await page.evaluateOnNewDocument(() => {
  Object.defineProperty(Navigator.prototype, "maxTouchPoints", { get: () => 10 });
  window.cancelled = [];
  document.addEventListener("keydown", (e) => {
    if ((e.ctrlKey || e.altKey || e.metaKey) && e.defaultPrevented) window.cancelled.push(e.key);
  });
  const slice = Uint8Array.prototype.slice;
  window.slices = 0;
  Uint8Array.prototype.slice = function (...range) {
    window.slices += 1;
    return slice.apply(this, range);
  };
});

// Waits until the screen shows a match of the pattern; gives the page's time then, in ms.
const shows = async (pattern, timeout = 3000, on = page) =>
  (
    await on.waitForFunction(
      (p) => new RegExp(p).test(document.querySelector(".xterm-rows")?.textContent) && performance.now(),
      { polling: "mutation", timeout },
      pattern,
    )
  ).jsonValue();
// Waits until one row of the screen is the text, whole: a row as wide as the text.
const rowIs = (text) =>
  page.waitForFunction(
    (t) => [...document.querySelectorAll(".xterm-rows > div")].some((row) => row.textContent === t),
    {},
    text,
  );
// Types text as a paste from the clipboard would arrive.
const paste = (text) =>
  page.$eval(
    ".xterm textarea",
    (area, text) => {
      const clipboardData = new DataTransfer();
      clipboardData.setData("text/plain", text);
      area.dispatchEvent(new ClipboardEvent("paste", { clipboardData, bubbles: true, cancelable: true }));
    },
    text,
  );
async function pressWith(modifier, key) {
  await page.keyboard.down(modifier);
  await page.keyboard.press(key);
  await page.keyboard.up(modifier);
}
// Tab (or Shift-Tab) until the focus is on the element: how many presses it took, or 0.
async function tabTo(selector, back = false) {
  for (let presses = 1; presses <= 20; presses += 1) {
    await (back ? pressWith("Shift", "Tab") : page.keyboard.press("Tab"));
    if (await page.$eval(selector, (element) => element === document.activeElement)) return presses;
  }
  return 0;
}
// Types as Android's soft keyboards do: an "Unidentified" key down, the character as input, the key up, one by one.
async function softType(target, text) {
  const cdp = await target.createCDPSession();
  const unidentified = (type) =>
    cdp.send("Input.dispatchKeyEvent", { type, windowsVirtualKeyCode: 229, key: "Unidentified" });
  for (const character of text) {
    await unidentified("rawKeyDown");
    await cdp.send("Input.insertText", { text: character });
    await unidentified("keyUp");
  }
}
// What the screen reader switch has the page say over a round, once each.
const SAID =
  /^Reedmere\. Press any key to start playing!\|The fish are swimming[^|]*\|You can't see[^|]*closely\|(Press Enter to go on\.\|)?Enter column number:\|Not taken: x{99}\.\|Enter row number:\|[^|]+\|(Thanks for playing!\|)?Enter Y to play again$/;
const said = async () =>
  (await page.$$eval("#said p", (lines) => lines.map((line) => line.textContent))).join("|");
// The width of the terminal's scroll bar, where scroll bars take room.
const scrollBar = () => page.$eval(".xterm-viewport", (view) => view.offsetWidth - view.clientWidth);
// The watching screen whole and in view, nothing over it: the title line, the column header and the ten rows.
const pondWhole = () => {
  const rows = [...document.querySelectorAll(".xterm-rows > div")];
  const shown = rows.slice(rows.findIndex((row) => row.textContent.startsWith("REEDMERE!"))).slice(0, 12);
  const labels = ["REEDMERE!", "  1 2 3 4 5 6 7 8 9 0", ..."1234567890"];
  const inView = (row, at) => {
    const box = row.getBoundingClientRect();
    const onTop = document.elementFromPoint(box.left + 2, box.top + box.height / 2);
    return row.textContent.startsWith(labels[at]) && box.bottom <= innerHeight && onTop?.closest(".xterm");
  };
  return shown.length === 12 && shown.every(inView);
};
const between = (low, value, high) =>
  assert.ok(low <= value && value <= high, `${value} not within ${low} to ${high}`);

test("a round played by hand on a touch laptop, heard by a screen reader; the keys a browser player presses, Ctrl-D, a new game, Ctrl-C", async () => {
  await page.goto(PAGE);
  const firstFrame = await shows("Press any key to start playing!");
  assert.match(await page.$eval("link[rel=icon]", (icon) => icon.href), /^data:/); // nothing asked of a server
  assert.equal(await scrollBar(), 0, "a scroll bar in the terminal");

  // Tab leaves the terminal for the switch, visibly; the keyboard elsewhere is said, and Shift-Tab brings it back.
  // Next after the terminal: the keypad's keys are no Tab stops beside a keyboard.
  assert.equal(await tabTo("#screen-reader"), 1, "Tab does not go straight to the screen reader switch");
  await page.keyboard.press("Space");
  const seen = (note) => {
    note.scrollIntoView();
    const box = note.getBoundingClientRect();
    const text = document.querySelector(".xterm-screen").getBoundingClientRect();
    return document.elementFromPoint(box.x + 20, box.y + 5) === note && box.bottom <= text.top;
  };
  assert.ok(await page.$eval("#focus-note", seen), "the lost focus is not shown"); // neither hidden nor covered, nor over the game
  assert.ok(await tabTo(".xterm-helper-textarea", true), "Shift-Tab does not come back to the terminal");
  await page.waitForFunction(() => document.querySelector("#terminal").getBoundingClientRect().top >= 0);
  const back = (note) => note.hidden && getComputedStyle(note.parentNode).outlineStyle !== "none";
  assert.ok(await page.$eval("#focus-note", back), "the focus in the terminal not shown");

  await page.keyboard.press("Enter");
  await shows("  1 2 3 4 5 6 7 8 9 0");
  await pressWith("Control", "s"); // no flow control: the pond goes on
  // Where the fish are, as text, matches the F's drawn (an F at 2 + 2 i is in column i), on three frames, as the
  // drawing lags a frame behind the list; and it is in no live region, never announced.
  const listMatchesRows = (seen) => {
    const fish = [...document.querySelectorAll(".xterm-rows > div")]
      .filter((row) => /^[0-9] [~F] /.test(row.textContent))
      .flatMap((row) =>
        [...row.textContent.matchAll(/F/g)].map(
          (f) => `column ${f.index / 2} row ${Number(row.textContent[0]) || 10}`,
        ),
      );
    const listed = document.querySelector("#fish").textContent;
    return fish.length > 0 && listed !== seen && listed === `Fish at ${fish.join("; ")}.` && listed;
  };
  let listed = "";
  for (let frames = 0; frames < 3; frames += 1) {
    listed = await (await page.waitForFunction(listMatchesRows, { polling: "mutation" }, listed)).jsonValue();
  }
  const live = "[aria-live], [role=log], [role=status], [role=alert]";
  assert.equal(await page.$eval("#fish", (fish, live) => fish.closest(live), live), null, "a live fish list");

  const screen = () => page.$eval(".xterm-rows", (rows) => rows.textContent);
  const before = await page.metrics();
  const slices = await page.evaluate(() => window.slices);
  const pond = await screen();
  await new Promise((r) => setTimeout(r, 10000));
  const busy = (await page.metrics()).TaskDuration - before.TaskDuration;
  between(0, busy / 10, 0.1); // a busy wait would take the whole core
  between(40, (await page.evaluate(() => window.slices)) - slices, 56); // 25 frames of 0.4 s, each copied twice
  assert.notEqual(await screen(), pond, "the pond stopped");
  assert.equal(await page.$$eval("#said p", (said) => said.length), 2, "frames announced"); // the title and the watching

  await page.keyboard.press("k"); // one key, not Enter, covers the pond, unechoed
  await shows("your next move closely *$");
  await page.waitForFunction(
    () => document.querySelector("#said p:last-child").textContent === "Press Enter to go on.",
  );
  await page.keyboard.press("Enter");
  await shows("your next move closely *Enter column number: ");
  await page.keyboard.type(`${"x".repeat(99)}\n`); // fills the 120 columns of the game's longest line; no number
  await rowIs(`Enter column number: ${"x".repeat(99)}`);
  await page.keyboard.type("9");
  await pressWith("Control", "u"); // erases the line
  await softType(page, "3");
  for (const key of ["ArrowLeft", "Home", "Delete", "Escape", "F1"]) await page.keyboard.press(key);
  for (const key of ["z", "r", "l"]) await pressWith("Control", key); // no job control; the browser's reload and address bar
  await page.keyboard.type(" 5");
  await pressWith("Control", "v"); // pastes (an empty clipboard), and takes no next key literally
  await page.keyboard.press("Backspace");
  await page.click("#keypad button:nth-child(4)"); // the keypad's 4, beside the keyboard
  await page.keyboard.press("Enter");
  await shows("x\\s*3 4\\s*Enter row number: ");
  assert.deepEqual(await page.evaluate(() => window.cancelled), ["s", "z"]); // the inert ones only
  await shows("Enter Y to play again", 2000);
  assert.match(await said(), SAID);
  // Far too much for a line: cut, never lost whole. The key already there as the next round starts skips the watching.
  await paste(`y\nk\n${"n".repeat(300000)}`);
  await shows("Enter column number: ");
  assert.equal(await page.$eval("#fish", (fish) => fish.textContent), "No fish seen this round.");
  for (let pastes = 0; pastes < 50; pastes += 1) await paste("n".repeat(4000)); // on a line already full
  await page.keyboard.press("Enter"); // the rest of the paste: a word that is no number
  await page.keyboard.type("1 1\n");
  await pressWith("Control", "d"); // the end of input, in the pause, comes before the "y" typed after it
  await page.keyboard.type("y\n");
  await shows("The game has ended. Press any key for a new game.");
  assert.equal(
    await page.$$eval("#said p", (said) => said.filter((line) => /closely$/.test(line.textContent)).length),
    2,
    "a round after the end",
  );

  await page.keyboard.press("z");
  await shows("Press any key to start playing!");
  const box = await (await page.$(".xterm-screen")).boundingBox();
  await page.mouse.click(box.x + 20, box.y + 8, { clickCount: 2 }); // selects a word
  await pressWith("Control", "c"); // copies the selection, and the game goes on
  await new Promise((r) => setTimeout(r, 300));
  assert.doesNotMatch(await screen(), /has ended/);
  await page.click("#terminal");
  await pressWith("Control", "c");
  await shows("The game has ended.");
  // A new game after one that ended at its title is said too.
  await page.$eval("#said", (said) => said.lastElementChild.classList.add("before"));
  await page.keyboard.press("Enter");
  await page.waitForFunction(() =>
    /^Reedmere\./.test(document.querySelector("#said p:not(.before):last-child")?.textContent),
  );
  assert.deepEqual(errors, []);
  console.log(
    `first title frame at ${Math.round(firstFrame)} ms; main thread busy ${(busy * 10).toFixed(2)}% while watching`,
  );
});

test("a phone: the terminal and keypad fit upright, on its side and zoomed, a round is played by taps and a soft keyboard; no WebAssembly", async () => {
  const phone = await browser.newPage();
  await phone.emulate(KnownDevices["iPhone SE"]);
  await phone.goto(PAGE);
  const tap = async (label) => (await phone.$(`xpath/.//button[normalize-space()="${label}"]`)).tap();
  // The terminal fills its room, no wider than the window; it and the keypad, whose keys fit a
  // thumb, are in view without scrolling: all of the keypad at a prompt, Enter and End game alone while any key will
  // do. Waited for, as it re-fits.
  const fits = (keysShown) => {
    const keys = [...document.querySelectorAll("#keypad button")].filter(
      (key) => key.getClientRects().length,
    );
    const screen = document.querySelector(".xterm-screen").getBoundingClientRect();
    const room = document.querySelector("#terminal").clientWidth - 12 - 10; // less its padding and a column
    return (
      screen.width >= room &&
      screen.right <= innerWidth &&
      document.documentElement.scrollWidth <= innerWidth &&
      [...document.querySelectorAll("#keypad, .xterm-screen")].every(
        (shown) => shown.getBoundingClientRect().bottom <= innerHeight,
      ) &&
      keys.length === keysShown &&
      keys.filter((key) => key.tabIndex === 0).length === 1 && // its one Tab stop on a key shown
      keys.every((key) => key.offsetWidth >= 44 && key.offsetHeight >= 44)
    );
  };
  await shows("Press any key", 3000, phone);
  await phone.waitForFunction(fits, { timeout: 3000 }, 2);
  const keypad = await phone.accessibility.snapshot({
    root: await phone.$("#keypad"),
    interestingOnly: false,
  });
  assert.deepEqual([keypad.role, keypad.name], ["group", "Keypad"]); // what assistive technology is told
  const iPhone13At200 = { width: 195, height: 422, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
  await phone.setViewport(iPhone13At200);
  await tap("Enter");
  await phone.waitForFunction(pondWhole, { timeout: 3000 }); // the keypad gives way while any key will do
  await phone.waitForFunction(fits, { timeout: 3000 }, 2);
  await tap("Enter");
  await shows("Enter column number:", 3000, phone);
  await phone.waitForFunction(fits, { timeout: 3000 }, 16); // every key back
  await phone.waitForSelector(".xterm-rows .xterm-cursor", { timeout: 2000 }); // shown, the terminal never tapped
  await (await phone.$("#terminal")).tap(); // the soft keyboard
  await (await phone.$("#screen-reader")).tap(); // turned on at a prompt, it says the rest of the round
  await softType(phone, "3 4");
  await tap("Enter");
  await shows("Enter column number: 3 4\\s*Enter row number: (You|A flying|The fish)", 3000, phone);
  await phone.waitForFunction(() =>
    /Enter row number:(You|A flying|The fish)/.test(document.querySelector("#said").textContent),
  );
  await phone.emulate(KnownDevices["iPhone SE landscape"]);
  await shows("Enter Y to play again", 3000, phone);
  await phone.waitForFunction(fits, { timeout: 3000 }, 16);
  await phone.screenshot({ path: `${process.env.REEDMERE_PAGE}.phone.png` });
  await phone.setViewport({ ...iPhone13At200, width: 422, height: 195 }); // on its side
  await phone.waitForFunction(fits, { timeout: 3000 }, 16);
  await tap("Y");
  await tap("Enter");
  await tap("Enter");
  await phone.waitForFunction(pondWhole, { timeout: 3000 });
  await tap("End game");
  await phone.waitForFunction(() => /has ended/.test(document.querySelector("#status").textContent));

  const bare = await browser.newPage(); // and a browser without WebAssembly says so
  await bare.evaluateOnNewDocument(() => delete globalThis.WebAssembly);
  await bare.goto(PAGE);
  await bare.waitForFunction(() =>
    /WebAssembly .*Reloading the page/.test(document.querySelector("#status").textContent),
  );
});

test("a desktop zoomed to 400 %, then a large screen: the pond whole, the font grown with the window", async () => {
  const desktop = await browser.newPage();
  await desktop.setViewport({ width: 320, height: 180, deviceScaleFactor: 4 }); // 1280x720 at 400 %
  await desktop.goto(PAGE);
  await shows("Press any key", 3000, desktop);
  await desktop.keyboard.press("Enter");
  await desktop.waitForFunction(pondWhole, { timeout: 3000 });
  await desktop.setViewport({ width: 1920, height: 1080 });
  // The terminal's columns fill its box, in a font larger than the least a desktop is given.
  const grown = () => {
    const font = parseFloat(getComputedStyle(document.querySelector(".xterm-rows")).fontSize);
    const room = document.querySelector("#terminal").clientWidth - 12;
    return font > 15 && document.querySelector(".xterm-screen").offsetWidth >= 0.9 * room;
  };
  await desktop.waitForFunction(grown, { timeout: 3000 });
  await desktop.waitForFunction(pondWhole, { timeout: 3000 });
  await desktop.close();
});

test("a round in Firefox: no scroll bar, the 120 columns, what is said", async () => {
  const firefox = await puppeteer.launch({ browser: "firefox", executablePath: "/usr/bin/firefox-esr" });
  after(() => firefox.close());
  page = await firefox.newPage();
  await page.setViewport({ width: 1280, height: 720 });
  await page.goto(PAGE);
  await shows("Press any key to start playing!", 10000);
  assert.equal(await scrollBar(), 0, "a scroll bar in the terminal");
  await page.click("#screen-reader");
  await page.click("#terminal");
  await page.keyboard.press("Enter");
  await shows("  1 2 3 4 5 6 7 8 9 0");
  await page.keyboard.type("k\n");
  await shows("Enter column number: ");
  await page.keyboard.type(`${"x".repeat(99)}\n3 4\n`);
  await rowIs(`Enter column number: ${"x".repeat(99)}`);
  await shows("Enter Y to play again", 5000);
  assert.match(await said(), SAID);
  await page.reload(); // the switch and what it switches agree, whatever the browser restores
  const agree = () =>
    document.querySelector("#narration").hidden === !document.querySelector("#screen-reader").checked;
  assert.ok(await page.evaluate(agree), "the switch and the narration disagree after a reload");
});
