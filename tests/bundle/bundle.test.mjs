// The bundle source folder: what the Stream Deck CLI does not check offline.
// The manifest names the plug-in's nine actions the way the executable
// expects them and as the plug-in's key action table declares them, every
// picture exists at both sizes and is drawn by our generator, and the
// language files translate every text a user sees.

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { readPng } from './png.mjs';

const REPO = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const UUID = 'com.brimcove.zorvaneplugin';
const BUNDLE = path.join(REPO, `${UUID}.sdPlugin`);
const IMAGES = path.join(BUNDLE, 'images');
const LANGUAGES = ['en', 'de', 'fr', 'es', 'ja', 'zh_CN', 'ko', 'zh_TW'];

const manifest = JSON.parse(fs.readFileSync(path.join(BUNDLE, 'manifest.json'), 'utf8'));
const ACTIONS = createRequire(import.meta.url)(path.join(BUNDLE, 'inspector', 'actions.js'));
const readLanguage = (language) =>
  JSON.parse(fs.readFileSync(path.join(BUNDLE, `${language}.json`), 'utf8'));

// The list word of each list action, as the plug-in forwards the lists.
const LIST_TYPES = {
  specialaction: 'special_action',
  pose: 'pose',
  emote: 'emote',
  quickslot: 'quickslot',
  changeavatar: 'avatar',
  changebackground: 'background',
  idle: 'idle',
};
const NUMERIC = ['specialaction', 'pose', 'idle'];
const TWO_STATES = ['broadcast', 'pose'];
// What the plug-in writes on a dial's touch strip besides names of actions
// and items, looked up in the language files' "Localization" table.
const STRIP_TEXTS = ['On air', 'Off air', 'Active', 'Inactive'];

// The plug-in's key action table as the native build writes it
// (key_actions.json); scripts/test-inspector.sh builds it and names it.
function readActionTable() {
  const file = process.env.ZORVANE_ACTION_TABLE;
  assert.ok(file, 'ZORVANE_ACTION_TABLE names no file: run scripts/test-inspector.sh');
  return JSON.parse(fs.readFileSync(file, 'utf8'));
}

describe('manifest', () => {
  test('the plug-in: identity, executable, platform and the monitored application', () => {
    assert.equal(path.basename(BUNDLE), `${manifest.UUID}.sdPlugin`);
    assert.equal(manifest.UUID, UUID);
    assert.equal(manifest.CodePath, 'zorvaneplugin.exe');
    assert.equal(manifest.CodePathWin, 'zorvaneplugin.exe');
    assert.deepEqual(manifest.OS, [{ Platform: 'windows', MinimumVersion: '10' }]);
    assert.equal(manifest.SDKVersion, 2);
    assert.equal(manifest.Software.MinimumVersion, '6.4');
    assert.deepEqual(manifest.ApplicationsToMonitor, { windows: ['Zorvane.exe'] });
    assert.equal('URL' in manifest, false);
    assert.ok(fs.statSync(path.join(BUNDLE, manifest.PropertyInspectorPath)).isFile());
  });

  test('the nine actions, with states only where the plug-in sets them', () => {
    const names = Object.keys(LIST_TYPES).concat('broadcast', 'calibrate').sort();
    assert.deepEqual(
      manifest.Actions.map((a) => a.UUID).sort(),
      names.map((n) => `${UUID}.${n}`).sort(),
    );
    for (const action of manifest.Actions) {
      const name = action.UUID.slice(UUID.length + 1);
      assert.ok(action.Name && action.Tooltip && action.Icon, name);
      if (TWO_STATES.includes(name)) {
        assert.equal(action.States.length, 2, name);
        assert.equal(action.DisableAutomaticStates, true, name);
      } else {
        assert.equal(action.States.length, 1, name);
        assert.equal(action.DisableAutomaticStates, undefined, name);
      }
    }
  });

  test("the version written in CMakeLists.txt is the changelog's newest", () => {
    const cmake = fs.readFileSync(path.join(REPO, 'CMakeLists.txt'), 'utf8');
    const changelog = fs.readFileSync(path.join(REPO, 'CHANGELOG.md'), 'utf8');
    const version = cmake.match(/^project\(zorvaneplugin VERSION (\d+\.\d+\.\d+) /m);
    const newest = changelog.match(/^## \[(\d+\.\d+\.\d+)\] - \d{4}-\d{2}-\d{2}$/m);
    assert.ok(version && newest);
    assert.equal(newest[1], version[1]);
  });

  test("the inspector knows each action by the manifest's name and tooltip, list word and value type", () => {
    assert.deepEqual(Object.keys(ACTIONS).sort(), manifest.Actions.map((a) => a.UUID).sort());
    for (const action of manifest.Actions) {
      const name = action.UUID.slice(UUID.length + 1);
      const entry = ACTIONS[action.UUID];
      assert.equal(entry.name, action.Name, name);
      assert.equal(entry.tooltip, action.Tooltip, name);
      assert.equal(entry.listType, LIST_TYPES[name], name);
      if (entry.listType) {
        assert.equal(entry.numeric, NUMERIC.includes(name), name);
        assert.ok(entry.choice, name);
      }
    }
  });
});

describe('the actions on dials', () => {
  test('every action can sit on a dial, with its own picture, and turns only when it has a list', () => {
    for (const action of manifest.Actions) {
      const name = action.UUID.slice(UUID.length + 1);
      assert.deepEqual(action.Controllers, ['Keypad', 'Encoder'], name);
      const { layout, Icon, TriggerDescription: what, ...rest } = action.Encoder;
      assert.deepEqual(rest, {}, name);
      const list = name in LIST_TYPES;
      // A dial that turns through a list shows where it stands: the built-in
      // layout with an indicator.
      assert.equal(layout, list ? '$B1' : '$A1', name);
      assert.equal(Icon, `images/encoders/${name}`, name);
      assert.deepEqual(
        Object.keys(what).sort(),
        (list ? ['Push', 'Rotate', 'Touch'] : ['Push', 'Touch']).sort(),
        name,
      );
      // A tap on the strip does what a push does.
      assert.equal(what.Touch, what.Push, name);
      for (const text of Object.values(what)) assert.ok(text.trim(), name);
    }
  });
});

describe("the plug-in's key action table", () => {
  const identifiers = (rows) => rows.map((row) => row.identifier).sort();

  test('the manifest declares exactly the actions of the table', () => {
    const rows = readActionTable();
    assert.deepEqual(manifest.Actions.map((a) => a.UUID).sort(), identifiers(rows));
    // The picture a dial goes back to is the manifest's encoder icon; a dial
    // that turns says so; the language files translate the strip's texts.
    for (const row of rows) {
      const action = manifest.Actions.find((a) => a.UUID === row.identifier);
      assert.equal(row.dialIcon, `${action.Encoder.Icon}.png`, row.identifier);
      assert.ok(fs.statSync(path.join(BUNDLE, row.dialIcon)).isFile(), row.dialIcon);
      assert.equal('Rotate' in action.Encoder.TriggerDescription, row.dialTurns, row.identifier);
    }
    assert.deepEqual(rows.flatMap((row) => row.dialTexts).sort(), [...STRIP_TEXTS].sort());
  });

  test("the inspector's list word and value type of each action are its row's", () => {
    const rows = readActionTable();
    assert.deepEqual(Object.keys(ACTIONS).sort(), identifiers(rows));
    for (const row of rows) {
      const entry = ACTIONS[row.identifier];
      if (row.listType === null) {
        assert.equal('listType' in entry, false, row.identifier);
        assert.equal('numeric' in entry, false, row.identifier);
        continue;
      }
      assert.equal(entry.listType, row.listType, row.identifier);
      assert.equal(typeof entry.numeric, 'boolean', row.identifier);
      assert.equal(row.keyValue, entry.numeric ? 'integer' : 'text', row.identifier);
    }
  });
});

describe('pictures', () => {
  // [manifest path, base size, white on transparent]
  const pictures = [
    [manifest.Icon, 256, false],
    [manifest.CategoryIcon, 28, true],
    ...manifest.Actions.map((a) => [a.Icon, 20, true]),
    ...manifest.Actions.flatMap((a) => a.States.map((s) => [s.Image, 72, false])),
    ...manifest.Actions.map((a) => [a.Encoder.Icon, 72, false]),
  ];

  test('every picture the manifest names is a PNG with its @2x twin at the expected sizes', () => {
    for (const [name, size] of pictures) {
      for (const [suffix, pixels] of [
        ['', size],
        ['@2x', size * 2],
      ]) {
        const file = path.join(BUNDLE, `${name}${suffix}.png`);
        const png = readPng(fs.readFileSync(file));
        assert.deepEqual([png.width, png.height], [pixels, pixels], file);
      }
    }
  });

  test('action and category icons are white on transparent; key and dial images are opaque', () => {
    for (const [name, size, white] of pictures) {
      const { pixels } = readPng(fs.readFileSync(path.join(BUNDLE, `${name}@2x.png`)));
      let transparent = 0;
      let drawn = 0;
      for (let i = 0; i < pixels.length; i += 4) {
        const [r, g, b, a] = pixels.subarray(i, i + 4);
        if (a === 0) transparent++;
        else drawn++;
        if (white && a > 0)
          assert.deepEqual([r, g, b], [255, 255, 255], `${name} at pixel ${i / 4}`);
      }
      assert.ok(drawn > 0, `${name} is empty`);
      if (white) assert.ok(transparent > 0, `${name} has no transparent background`);
      else if (size === 72) assert.equal(transparent, 0, `${name} has transparent pixels`);
    }
  });

  test('the committed pictures are what tools/bundle_icons/make_icons.py draws', () => {
    const out = fs.mkdtempSync(path.join(os.tmpdir(), 'zorvane-icons-'));
    try {
      const python = fs.existsSync('/usr/bin/python3') ? '/usr/bin/python3' : 'python3';
      execFileSync(python, [path.join(REPO, 'tools', 'bundle_icons', 'make_icons.py'), out]);
      const list = (root) =>
        fs
          .readdirSync(root, { recursive: true })
          .filter((f) => f.endsWith('.png'))
          .sort();
      assert.deepEqual(list(IMAGES), list(out));
      for (const file of list(out)) {
        const drawn = readPng(fs.readFileSync(path.join(out, file)));
        const committed = readPng(fs.readFileSync(path.join(IMAGES, file)));
        assert.ok(committed.pixels.equals(drawn.pixels), `${file} differs from the generator's`);
      }
    } finally {
      fs.rmSync(out, { recursive: true, force: true });
    }
  });
});

// Every English text the inspector page shows: marked elements of the page,
// the texts inspector.js translates, and the action table.
function inspectorTexts() {
  const html = fs.readFileSync(path.join(BUNDLE, 'inspector', 'index.html'), 'utf8');
  const script = fs.readFileSync(path.join(BUNDLE, 'inspector', 'inspector.js'), 'utf8');
  const texts = new Set();
  for (const m of html.matchAll(/<[a-z]+\b[^>]*\sdata-l10n(?:\s[^>]*)?>([^<]+)</g))
    texts.add(m[1].trim());
  for (const m of html.matchAll(/data-l10n-placeholder="([^"]+)"/g)) texts.add(m[1]);
  for (const m of script.matchAll(/\bt\((['"])(.+?)\1\)/g)) texts.add(m[2]);
  for (const entry of Object.values(ACTIONS)) {
    texts.add(entry.name);
    texts.add(entry.tooltip);
    if (entry.choice) texts.add(entry.choice);
  }
  return texts;
}

describe('language files', () => {
  const texts = inspectorTexts();
  const stateNames = new Set(
    manifest.Actions.flatMap((a) => a.States.map((s) => s.Name).filter(Boolean)),
  );
  const triggerTexts = new Set(
    manifest.Actions.flatMap((a) => Object.values(a.Encoder.TriggerDescription)),
  );
  const known = new Set([...texts, ...stateNames, ...triggerTexts, ...STRIP_TEXTS]);

  test('the bundle holds a language file for each language tested here, and no other', () => {
    const files = fs
      .readdirSync(BUNDLE)
      .filter((f) => f.endsWith('.json') && f !== 'manifest.json')
      .map((f) => f.slice(0, -'.json'.length));
    assert.deepEqual(files.sort(), [...LANGUAGES].sort());
  });

  test('the inspector texts were found', () => {
    assert.ok(texts.size > Object.keys(ACTIONS).length * 2, [...texts].join(' | '));
  });

  test('each language translates every text of the inspector, the manifest and the strip, and nothing else', () => {
    for (const language of LANGUAGES) {
      const file = readLanguage(language);
      const table = file.Localization;
      assert.ok(table && typeof table === 'object' && !Array.isArray(table), language);
      for (const text of known) {
        assert.equal(typeof table[text], 'string', `${language}: "${text}" is missing`);
        assert.notEqual(table[text].trim(), '', `${language}: "${text}" is empty`);
      }
      for (const text of Object.keys(table)) {
        assert.ok(known.has(text), `${language}: "${text}" is not shown anywhere`);
      }
    }
  });

  test('each language names the actions for the Stream Deck application as its table does', () => {
    for (const language of LANGUAGES) {
      const file = readLanguage(language);
      assert.equal(typeof file.Description, 'string', language);
      // The description speaks of the dials wherever the manifest's does.
      assert.equal(
        file.Description.includes('Stream Deck+'),
        manifest.Description.includes('Stream Deck+'),
        language,
      );
      for (const action of manifest.Actions) {
        const entry = file[action.UUID];
        assert.ok(entry, `${language}: ${action.UUID}`);
        assert.equal(entry.Name, file.Localization[action.Name], `${language}: ${action.UUID}`);
        assert.equal(
          entry.Tooltip,
          file.Localization[action.Tooltip],
          `${language}: ${action.UUID}`,
        );
        const states = action.States.filter((s) => s.Name).map((s) => ({
          Name: file.Localization[s.Name],
        }));
        assert.deepEqual(entry.States ?? [], states, `${language}: ${action.UUID}`);
        const trigger = Object.fromEntries(
          Object.entries(action.Encoder.TriggerDescription).map(([k, v]) => [
            k,
            file.Localization[v],
          ]),
        );
        assert.deepEqual(
          entry.Encoder,
          { TriggerDescription: trigger },
          `${language}: ${action.UUID}`,
        );
      }
    }
  });

  test("English is the page's own text; the other languages translate the notice", () => {
    const english = readLanguage('en');
    for (const [text, translation] of Object.entries(english.Localization))
      assert.equal(translation, text);
    assert.equal(english.Description, manifest.Description);
    const notice = 'The Zorvane desktop application is not running.';
    for (const language of LANGUAGES.filter((l) => l !== 'en')) {
      assert.notEqual(readLanguage(language).Localization[notice], notice, language);
    }
  });
});
