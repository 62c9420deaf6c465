// ESLint for the HTML page's script (drawing/page.js, a classic script that
// the page runs) and the browser test's driver (tests/browser/*.mjs, a
// Node.js module whose page functions run in the browser). ESLint and its
// rule sets are the browser test's npm packages (tests/browser/package.json);
// scripts/check.sh runs them from this folder, where ESLint finds this file:
//   cd replay && tests/browser/node_modules/.bin/eslint .
import { createRequire } from 'node:module';

const require = createRequire(new URL('./tests/browser/package.json', import.meta.url));
const js = require('@eslint/js');
const globals = require('globals');

export default [
  { ignores: ['tests/browser/node_modules/'] },
  { files: ['drawing/page.js', 'tests/browser/*.mjs'], ...js.configs.recommended },
  {
    files: ['drawing/page.js'],
    languageOptions: { ecmaVersion: 2020, sourceType: 'script', globals: globals.browser },
  },
  {
    files: ['tests/browser/*.mjs'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: { ...globals.node, ...globals.browser } },
  },
];
