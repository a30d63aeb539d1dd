// The one-file page in headless Chromium, opened from disk and played with
// real key presses; the screen is read from the terminal's rows on the page.
import assert from "node:assert/strict";
import { after, test } from "node:test";
import puppeteer, { KnownDevices } from "puppeteer-core";

const PAGE = `file://${process.env.REEDMERE_PAGE}`;
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
const page = await browser.newPage();
const errors = [];
page.on("pageerror", (error) => errors.push(error.message));
after(() => browser.close());
// Counts the game's writes to the terminal: each copies its bytes out of the WebAssembly memory with one slice.
await page.evaluateOnNewDocument(() => {
  const slice = Uint8Array.prototype.slice;
  window.slices = 0;
  Uint8Array.prototype.slice = function (...range) {
    window.slices += 1;
    return slice.apply(this, range);
  };
});

// Waits until the screen shows a match of the pattern; gives the page's time then, in ms.
const shows = async (pattern, timeout = 3000) =>
  (await page.waitForFunction((p) => new RegExp(p).test(document.querySelector(".xterm-rows")?.textContent) && performance.now(),
    { polling: "mutation", timeout }, pattern)).jsonValue();
// The screens seen in ms milliseconds, each with the time it came up.
async function watch(ms) {
  const seen = [];
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 10))) {
    const now = await page.$eval(".xterm-rows", (rows) => rows.textContent);
    if (seen.at(-1)?.text !== now) seen.push({ text: now, at: Date.now() });
  }
  return seen;
}
// Types text as a paste from the clipboard would arrive.
const paste = (text) =>
  page.$eval(".xterm textarea", (area, text) => {
    const clipboardData = new DataTransfer();
    clipboardData.setData("text/plain", text);
    area.dispatchEvent(new ClipboardEvent("paste", { clipboardData, bubbles: true, cancelable: true }));
  }, text);
async function pressWithControl(key) {
  await page.keyboard.down("Control");
  await page.keyboard.press(key);
  await page.keyboard.up("Control");
}
const between = (low, value, high) => assert.ok(low <= value && value <= high, `${value} not within ${low} to ${high}`);

test("a round played by hand, the keys a browser player presses, Ctrl-D, a new game, and Ctrl-C", async () => {
  await page.goto(PAGE);
  const firstFrame = await shows("Press any key to start playing!");
  assert.match(await page.$eval("link[rel=icon]", (icon) => icon.href), /^data:/); // nothing asked of a server

  await page.click("#screen-reader"); // the keyboard elsewhere is said, and a click on the terminal brings it back
  const seen = (note) => {
    note.scrollIntoView();
    const box = note.getBoundingClientRect();
    return document.elementFromPoint(box.x + 20, box.y + box.height / 2) === note; // neither hidden nor covered
  };
  assert.ok(await page.$eval("#focus-note", seen), "the lost focus is not shown");
  await page.waitForFunction(() => /Press any key/.test(document.querySelector(".xterm-accessibility-tree")?.textContent));
  await page.click("#terminal");
  assert.ok(await page.$eval("#focus-note", (note) => note.hidden));

  await page.keyboard.press("Enter");
  await shows("  1 2 3 4 5 6 7 8 9 0");
  await pressWithControl("s"); // no flow control: the pond goes on
  const frames = (await watch(2300)).filter((s) => s.text.includes("1 2 3"));
  const gaps = frames.slice(2).map((frame, i) => frame.at - frames[i + 1].at);
  assert.ok(gaps.length >= 3, `${gaps.length} changes of the pond`);
  gaps.forEach((gap) => between(300, gap, 600));

  const before = await page.metrics();
  const slices = await page.evaluate(() => window.slices);
  await new Promise((r) => setTimeout(r, 10000));
  const busy = (await page.metrics()).TaskDuration - before.TaskDuration;
  between(0, busy / 10, 0.1); // a busy wait would take the whole core
  between(20, (await page.evaluate(() => window.slices)) - slices, 75); // 25 pond frames, not many writes each

  await page.keyboard.press("k"); // one key, not Enter, covers the pond, unechoed
  await shows("your next move closely *$");
  await page.keyboard.press("Enter");
  await shows("your next move closely *Enter column number: ");
  await page.keyboard.type("3");
  for (const key of ["ArrowLeft", "Home", "Delete", "Escape", "F1", "Tab"]) await page.keyboard.press(key);
  await pressWithControl("z"); // no job control: nothing typed, nothing lost
  await page.keyboard.type(" 5");
  await pressWithControl("v"); // pastes (an empty clipboard), and takes no next key literally
  await page.keyboard.press("Backspace");
  await page.keyboard.type("4\n");
  await shows("Enter column number: 3 4\\s*Enter row number: ");
  await shows("Enter Y to play again", 2000);
  await paste(`y\n${"n".repeat(300000)}`); // far too much for a line: cut, never lost whole
  await shows("F ");
  await page.keyboard.press("Enter");
  await shows("Enter column number: ");
  await pressWithControl("d");
  await shows("The game has ended. Press any key for a new game.");
  assert.match(await page.$eval("#status", (status) => status.textContent), /has ended/);

  await page.keyboard.press("z");
  await shows("Press any key to start playing!");
  const box = await (await page.$(".xterm-screen")).boundingBox();
  await page.mouse.move(box.x + 2, box.y + 2);
  await page.mouse.down();
  await page.mouse.move(box.x + 80, box.y + 8);
  await page.mouse.up();
  await pressWithControl("c"); // copies the selection, and the game goes on
  await page.waitForFunction(() => !/has ended/.test(document.querySelector("#status").textContent));
  await shows("Press any key to start playing!");
  await page.click("#terminal");
  await pressWithControl("c");
  await shows("The game has ended.");
  assert.deepEqual(errors, []);
  console.log(`first title frame at ${Math.round(firstFrame)} ms; main thread busy ${(busy * 10).toFixed(2)}% while watching`);
});

test("a phone: the terminal fits upright and on its side, and a round is played by taps alone", async () => {
  const phone = await browser.newPage();
  await phone.emulate(KnownDevices["iPhone 13"]);
  await phone.goto(PAGE);
  const tap = async (label) => (await phone.$(`xpath/.//button[normalize-space()="${label}"]`)).tap();
  // The terminal fills its room, no wider than the window, in a readable font; waited for, as it re-fits.
  const fits = () => {
    const screen = document.querySelector(".xterm-screen").getBoundingClientRect();
    const room = document.querySelector("#terminal").clientWidth - 12 - 10; // less its padding and a column
    const font = parseFloat(getComputedStyle(document.querySelector(".xterm-rows")).fontSize);
    return screen.width >= room && screen.right <= innerWidth && document.documentElement.scrollWidth <= innerWidth && font >= 12;
  };
  await phone.waitForFunction((p) => new RegExp(p).test(document.querySelector(".xterm-rows")?.textContent), {}, "Press any key");
  await phone.waitForFunction(fits, { timeout: 3000 });
  const keys = await phone.$$eval("#keypad button", (buttons) => buttons.map((b) => Math.min(b.offsetWidth, b.offsetHeight)));
  assert.ok(keys.length === 16 && keys.every((side) => side >= 44), `keys too small for a thumb: ${keys}`);
  for (const label of ["Enter", "Enter", "3", "Space", "4", "Enter"]) {
    await tap(label);
    await new Promise((r) => setTimeout(r, 400));
  }
  await phone.waitForFunction(() => /Enter column number: 3 4\s*Enter row number: (You|A flying|The fish)/.test(document.querySelector(".xterm-rows").textContent));
  await phone.setViewport({ width: 844, height: 390, isMobile: true, hasTouch: true, isLandscape: true });
  await phone.waitForFunction(fits, { timeout: 3000 });
  assert.match(await phone.$eval(".xterm-rows", (rows) => rows.textContent), /Enter column number: 3 4/); // nothing lost
  await phone.screenshot({ path: `${process.env.REEDMERE_PAGE}.phone.png` });
  await tap("End game");
  await phone.waitForFunction(() => /has ended/.test(document.querySelector("#status").textContent));
});

test("a browser without WebAssembly says so", async () => {
  const bare = await browser.newPage();
  await bare.evaluateOnNewDocument(() => delete globalThis.WebAssembly);
  await bare.goto(PAGE);
  await bare.waitForFunction(() => /WebAssembly .*Reloading the page/.test(document.querySelector("#status").textContent));
});
