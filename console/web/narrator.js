// What a screen-reader player hears: the game's own output, read as text.
// The drawings (the title's fish, the pond's squares) are never said; the
// title, the start of the watching and each line under the covered pond are
// said once each, in a polite live region. While the fish swim, their squares
// are kept as text the player can read at will, without being announced.

const CLEAR = "\x1b[H\x1b[2J";
const ESCAPE_SEQUENCE = /\x1b\[[0-9;?]*[A-Za-z]/g;
const POND_ROW = /^([0-9]) ((?:[~F] ){10})$/gm;
const SAID_AT_MOST = 20; // the log keeps the latest few, for reading back

// It hears the game whether the player has it speak or not, so that turned
// on in the middle of a round it goes on from there.
export function createNarrator(log, fishList, speaking) {
  let screen = ""; // the game's text since its last clear, without colours
  let said = { title: false, watching: false, under: 0 };
  // Whether this screen, and the one before the last clear, showed fish: a
  // covered pond after a screen without them is a round whose watching was skipped.
  let fishShown = false;
  let fishBeforeClear = false;

  function say(text) {
    if (!speaking()) return;
    const line = document.createElement("p");
    line.textContent = text;
    log.append(line);
    while (log.childElementCount > SAID_AT_MOST) log.firstElementChild.remove();
  }

  // Labels as the pond shows them: 1 to 9, and 10 for the one labelled 0.
  const label = (shown) => (shown === "0" ? 10 : Number(shown));

  function look() {
    if (screen.includes("Press any key to start playing!") && !said.title) {
      said = { title: true, watching: false, under: 0 };
      fishList.textContent = "No fish in sight.";
      say("Reedmere. Press any key to start playing!");
    }
    const rows = [...screen.matchAll(POND_ROW)];
    if (rows.length < 10) return;
    const fish = rows.flatMap(([, row, squares]) =>
      [...squares.replaceAll(" ", "")].flatMap((square, column) =>
        square === "F" ? [`column ${column + 1} row ${label(row)}`] : [],
      ),
    );
    if (fish.length > 0) {
      fishShown = true;
      fishList.textContent = `Fish at ${fish.join("; ")}.`;
      if (!said.watching)
        say("The fish are swimming. Press any key to cover the pond when you know where one is.");
      said = { title: false, watching: true, under: 0 };
      return;
    }
    // The covered pond: what is written under it, a piece at a time.
    if (!fishBeforeClear) fishList.textContent = "No fish seen this round.";
    const under = screen.slice(rows.at(-1).index + rows.at(-1)[0].length + 1);
    if (said.under < 0) said.under = under.lastIndexOf("\n", under.length - 2) + 1; // from its last line
    const news = under.slice(said.under);
    if (!/\n|: $/.test(news)) return; // a whole line, or a prompt
    said.under = under.length;
    said.watching = false;
    news
      .split("\n")
      .filter((line) => line.trim())
      .forEach((line) => say(line.trim()));
  }

  return {
    // Takes the bytes the game writes to its screen.
    hear(bytes) {
      const parts = String.fromCharCode(...bytes).split(CLEAR);
      if (parts.length > 1) {
        screen = "";
        said.under = 0;
        fishBeforeClear = fishShown;
        fishShown = false;
      }
      screen = (screen + parts.at(-1)).replace(ESCAPE_SEQUENCE, "");
      look();
    },
    // Says what the page itself has to tell.
    note: say,
    // Turned on: what the screen shows now is said, from its last line.
    startSpeaking() {
      said = { title: false, watching: false, under: -1 };
      look();
    },
    // A new game's title is said, even after a game that ended at its own.
    newGame() {
      said = { title: false, watching: false, under: 0 };
    },
  };
}
