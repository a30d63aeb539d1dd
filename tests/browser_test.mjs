// The one-file page in headless Chromium, opened from disk and played with
// real key presses; the screen is read from the terminal's rows on the page.
import assert from "node:assert/strict";
import { after, test } from "node:test";
import puppeteer from "puppeteer-core";

const PAGE = process.env.REEDMERE_PAGE;
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
const page = await browser.newPage();
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

const screen = () => page.$eval(".xterm-rows", (rows) => [...rows.children].map((row) => row.textContent).join("\n"));
// Waits until the screen shows a match of the pattern; gives the page's time then, in ms.
const shows = async (pattern, timeout = 3000) =>
  (await page.waitForFunction((p) => new RegExp(p).test(document.querySelector(".xterm-rows")?.textContent) && performance.now(),
    { polling: "mutation", timeout }, pattern)).jsonValue();
// The screens seen in ms milliseconds, each with the time it came up.
async function watch(ms) {
  const seen = [];
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 10))) {
    const now = await screen();
    if (seen.at(-1)?.text !== now) seen.push({ text: now, at: Date.now() });
  }
  return seen;
}
async function pressWithControl(key) {
  await page.keyboard.down("Control");
  await page.keyboard.press(key);
  await page.keyboard.up("Control");
}
const between = (low, value, high) => assert.ok(low <= value && value <= high, `${value} not within ${low} to ${high}`);

test("a round played by hand, Ctrl-D, a new game, and Ctrl-C", async () => {
  await page.goto(`file://${PAGE}`);
  const firstFrame = await shows("Press any key to start playing!");
  const titles = await watch(1000);
  assert.ok(new Set(titles.map((s) => s.text.split("\n")[1])).size >= 3, "the title fish does not swim");

  await page.keyboard.press("x");
  await shows("^\\s*$"); // one key stops the title, unechoed: the screen is blank

  await page.keyboard.press("Enter");
  await shows("  1 2 3 4 5 6 7 8 9 0");
  const frames = (await watch(2300)).filter((s) => s.text.includes("1 2 3"));
  // Two fish on one square show as one F.
  const fish = frames.map((frame) => frame.text.match(/F/g)?.length);
  assert.ok(fish.every((n) => n >= 1 && n <= 3) && fish.includes(3), `fish on the frames: ${fish}`);
  const gaps = frames.slice(2).map((frame, i) => frame.at - frames[i + 1].at);
  assert.ok(gaps.length >= 3, `${gaps.length} changes of the pond`);
  gaps.forEach((gap) => between(300, gap, 600));

  const before = await page.metrics();
  const slices = await page.evaluate(() => window.slices);
  await new Promise((r) => setTimeout(r, 10000));
  const busy = (await page.metrics()).TaskDuration - before.TaskDuration;
  between(0, busy / 10, 0.1); // a busy wait would take the whole core
  between(20, (await page.evaluate(() => window.slices)) - slices, 75); // 25 pond frames, not many writes each

  await page.keyboard.press("Enter");
  await shows("your next move closely *Enter column number: ");
  await page.keyboard.type("3 5");
  await page.keyboard.press("Backspace");
  await page.keyboard.type("4\n");
  await shows("Enter column number: 3 4");
  const outcome = await shows("Enter row number: (You|A flying|The fish)");
  between(900, (await shows("Enter Y to play again", 2000)) - outcome, 1400);
  await page.keyboard.type("y\n");
  await shows("F ");
  await page.keyboard.press("Enter");
  await shows("Enter column number: ");
  await pressWithControl("d");
  await shows("The game has ended. Press any key for a new game.");
  assert.match(await page.$eval("#status", (status) => status.textContent), /has ended/);

  await page.keyboard.press("z");
  await shows("Press any key to start playing!");
  await pressWithControl("c");
  await shows("The game has ended.");
  console.log(`first title frame at ${Math.round(firstFrame)} ms; main thread busy ${(busy * 10).toFixed(2)}% while watching`);
});
