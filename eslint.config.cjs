// ESLint for the pages' scripts; scripts/lint installs the pinned ESLint and runs it.
// The pages are classic scripts that share their modules as top-level constants,
// so each module's name is a global to the others and its own declaration is the
// one that defines it.
const js = require("@eslint/js");
const globals = require("globals");

const pageModules = [
  "Quillon", "Dom", "Song", "PartTime", "PartLoad", "PartPointer", "PartRing", "WaveData", "WaveSpan", "WaveView", "ClipList",
  "PartLimits", "PartHistory"
];

module.exports = [
  {
    files: ["res/**/*.js"],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: "script",
      globals: { ...globals.browser, ...Object.fromEntries(pageModules.map((name) => [name, "readonly"])) }
    },
    rules: {
      ...js.configs.recommended.rules,
      "no-redeclare": ["error", { builtinGlobals: false }],
      "no-unused-vars": ["error", { vars: "local" }]
    }
  }
];
