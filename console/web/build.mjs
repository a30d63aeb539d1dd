// Makes the one-file page: the game (WebAssembly inside its JavaScript, as
// emcc's SINGLE_FILE writes it), the terminal and their styles, all inline.
// Usage: node build.mjs GAME.js PAGE.html
import { build } from "esbuild";
import { readFile, writeFile } from "node:fs/promises";
import { fileURLToPath } from "node:url";

const [game, page] = process.argv.slice(2);
const here = (name) => fileURLToPath(new URL(name, import.meta.url));

const bundle = await build({
  entryPoints: [here("terminal.js")],
  alias: { "reedmere-game": game },
  bundle: true,
  minify: true,
  format: "iife",
  target: "es2020",
  outdir: "page",
  write: false,
  legalComments: "none", // the licences are given whole at the end of the page
  logLevel: "warning",
});
const output = (ending) => bundle.outputFiles.find((file) => file.path.endsWith(ending)).text;
// Inside a script element, "</script" would end it early; "<\/" means the same to JavaScript.
const script = output(".js").replace(/<\/script/gi, "<\\/script");

// The licences of the libraries the page carries, as their terms ask.
const licences = await Promise.all(
  ["@xterm/xterm/LICENSE", "xterm-pty/LICENSE.txt"].map((file) =>
    readFile(here(`../../node_modules/${file}`), "utf8"),
  ),
);
const template = await readFile(here("page.html"), "utf8");
const icon = await readFile(here("../../packaging/reedmere.svg"), "utf8");
// Functions as replacements, so that no "$" in the code is read as a pattern.
const html = template
  .replace("/* STYLES */", () => output(".css"))
  .replace("/* SCRIPT */", () => script)
  .replace('href="ICON"', () => `href="data:image/svg+xml,${encodeURIComponent(icon.trim())}"`);
await writeFile(
  page,
  `${html}<!--\nThe page includes xterm.js and xterm-pty:\n\n${licences.join("\n")}-->\n`,
);
