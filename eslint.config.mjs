// The page's and the tests' JavaScript, checked for what is surely a fault:
// a name used but never defined, and one defined but never used.
import globals from "globals";

const rules = { "no-undef": "error", "no-unused-vars": "error" };

export default [
  { files: ["console/web/*.js"], languageOptions: { globals: globals.browser }, rules },
  { files: ["console/web/*.mjs"], languageOptions: { globals: globals.node }, rules },
  // The tests run in node, and some of their functions in the page.
  { files: ["tests/*.mjs"], languageOptions: { globals: { ...globals.node, ...globals.browser } }, rules },
];
