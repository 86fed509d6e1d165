// How the property inspector reads the desktop application's item lists and
// turns paths into URLs; plain node, no browser.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const INSPECTOR = path.resolve(
  fileURLToPath(import.meta.url),
  '..',
  '..',
  '..',
  'com.brimcove.zorvaneplugin.sdPlugin',
  'inspector',
);
const Items = createRequire(import.meta.url)(path.join(INSPECTOR, 'items.js'));
// The list-element cases that the plug-in's C++ test (tests/plugin/list_items_test.cpp)
// walks too: what the strip of a dial names is what the inspector names.
const SHARED_CASES = JSON.parse(
  fs.readFileSync(
    path.resolve(fileURLToPath(import.meta.url), '..', '..', 'support', 'list_item_cases.json'),
    'utf8',
  ),
).cases;

describe('the list-element cases shared with the plug-in', () => {
  for (const { name, numeric, list, entries } of SHARED_CASES) {
    test(name, () => {
      assert.deepEqual(
        Items.normalizeList(list, numeric),
        entries.map(({ text, value, thumbnail }) => ({ text, value, thumbnail })),
      );
      // The plug-in reads the thumbnail from a file: the one the inspector shows.
      for (const { file, thumbnail } of entries) {
        if (file !== null) assert.equal(Items.pathToUrl(file), thumbnail, file);
      }
    });
  }
});

describe('list entries for text actions', () => {
  test('strings, numbers and objects with the usual member names', () => {
    const entries = Items.normalizeList(
      {
        listType: 'avatar',
        itemList: [
          'Alice',
          42,
          { name: 'Bob', value: 'bob.vrm' },
          { DisplayName: 'Carol', ID: 'c-1' },
          { display_name: 'Dave' },
          { title: 'Eve', index: 3 },
          { value: 'frank' },
        ],
      },
      false,
    );
    assert.deepEqual(entries, [
      { text: 'Alice', value: 'Alice', thumbnail: null },
      { text: '42', value: '42', thumbnail: null },
      { text: 'Bob', value: 'bob.vrm', thumbnail: null },
      { text: 'Carol', value: 'c-1', thumbnail: null },
      { text: 'Dave', value: 'Dave', thumbnail: null },
      { text: 'Eve', value: '3', thumbnail: null },
      { text: 'frank', value: 'frank', thumbnail: null },
    ]);
  });

  test('elements that are no items are left out', () => {
    const entries = Items.normalizeList(
      {
        listType: 'emote',
        itemList: [null, true, [], '', {}, { name: '' }, { other: 1 }, 'wave', Number.NaN],
      },
      false,
    );
    assert.deepEqual(
      entries.map((e) => e.value),
      ['wave'],
    );
  });

  test('a payload without an item array gives no entries', () => {
    assert.deepEqual(Items.normalizeList({ listType: 'emote', itemList: 'wave' }, false), []);
    assert.deepEqual(Items.normalizeList({ listType: 'emote' }, false), []);
  });
});

describe('list entries for numeric actions', () => {
  test('ids as numbers or digits are kept; names and unusable ids take the position', () => {
    const entries = Items.normalizeList(
      {
        listType: 'pose',
        itemList: [
          { name: 'Wave', id: 4 },
          { name: 'Peace', id: ' 7 ' },
          'Jump',
          '9',
          { name: 'Half', value: 2.5 },
          { name: 'Huge', value: 2147483648 },
          { name: 'Low', value: -2147483648 },
          { name: 'Word', value: 'seven' },
          {},
        ],
      },
      true,
    );
    assert.deepEqual(
      entries.map((e) => [e.text, e.value]),
      [
        ['Wave', 4],
        ['Peace', 7],
        ['Jump', 2],
        ['9', 3],
        ['Half', 4],
        ['Huge', 5],
        ['Low', -2147483648],
        ['Word', 7],
        ['8', 8],
      ],
    );
  });

  test('positions count the elements that were left out', () => {
    const entries = Items.normalizeList(
      { listType: 'idle', itemList: [null, 'Breathe', 'Sway'] },
      true,
    );
    assert.deepEqual(
      entries.map((e) => e.value),
      [1, 2],
    );
  });
});

describe('thumbnails', () => {
  test('a list folder given as a Windows path makes file URLs from values and members', () => {
    const entries = Items.normalizeList(
      {
        listType: 'avatar',
        imagePath: 'C:\\Users\\Stream Er\\Zorvane\\thumbs\\',
        itemList: [
          'Alice',
          { name: 'Bob', id: 'bob.jpg' },
          { name: 'Carol', Thumbnail: 'faces\\carol #1.png' },
          { name: 'Dave', icon: 'D:\\pics\\dave.png' },
          { name: 'Eve', image: '\\\\nas\\share\\eve.png' },
        ],
      },
      false,
    );
    assert.deepEqual(
      entries.map((e) => e.thumbnail),
      [
        'file:///C:/Users/Stream%20Er/Zorvane/thumbs/Alice.png',
        'file:///C:/Users/Stream%20Er/Zorvane/thumbs/bob.jpg',
        'file:///C:/Users/Stream%20Er/Zorvane/thumbs/faces/carol%20%231.png',
        'file:///D:/pics/dave.png',
        'file://nas/share/eve.png',
      ],
    );
  });

  test('a list folder given as a URL or POSIX path is joined with slashes', () => {
    assert.equal(
      Items.joinUrl('http://127.0.0.1:8080/t/', 'a b.png'),
      'http://127.0.0.1:8080/t/a%20b.png',
    );
    assert.equal(Items.joinUrl('/srv/thumbs', 'sub/a.png'), 'file:///srv/thumbs/sub/a.png');
    const [entry] = Items.normalizeList(
      { listType: 'quickslot', imagePath: 'http://h/q', itemList: [3] },
      false,
    );
    assert.equal(entry.thumbnail, 'http://h/q/3.png');
  });

  test('without a list folder only absolute thumbnail members are shown', () => {
    const entries = Items.normalizeList(
      {
        listType: 'pose',
        itemList: [{ name: 'A', thumbnail: 'a.png' }, { name: 'B', thumbnail: 'C:\\b.png' }, 'C'],
      },
      true,
    );
    assert.deepEqual(
      entries.map((e) => e.thumbnail),
      [null, 'file:///C:/b.png', null],
    );
  });

  test('URLs pass through pathToUrl unchanged', () => {
    for (const url of [
      'http://127.0.0.1/x.png',
      'file:///C:/x.png',
      'data:image/png;base64,AAAA',
    ]) {
      assert.equal(Items.pathToUrl(url), url);
    }
  });
});

describe('the search field', () => {
  test('an entry matches when its text holds the typed text, whatever the case', () => {
    const cases = [
      // [entry text, typed text, matches]
      ['Alice', '', true],
      ['Alice', '   ', true],
      ['Alice', 'al', true],
      ['Alice', 'ICE', true],
      ['Look around', 'k a', true],
      ['Look around', ' around ', true],
      ['Look around', 'around the', false],
      ['Ärger', 'äR', true],
      ['Ωmega', 'ωMEGA', true],
      ['猫の顔', '猫', true],
      ['Bob', 'bobby', false],
      ['Bob', 'x', false],
      ['12', '2', true],
    ];
    for (const [text, typed, matches] of cases) {
      assert.equal(Items.matchesSearch(text, typed), matches, `"${typed}" in "${text}"`);
    }
  });
});

describe('the path of a chosen file', () => {
  test('the browser prefix is removed and percent-encoding decoded', () => {
    assert.equal(Items.pathFromFileInput('C:\\fakepath\\key.png'), 'key.png');
    assert.equal(
      Items.pathFromFileInput('C:\\fakepath\\C%3A%5CUsers%5Cme%5Ckey%20one.png'),
      'C:\\Users\\me\\key one.png',
    );
    assert.equal(Items.pathFromFileInput('D:\\keys\\k.png'), 'D:\\keys\\k.png');
    assert.equal(Items.pathFromFileInput('D:\\keys\\100%.png'), 'D:\\keys\\100%.png');
    assert.equal(Items.pathFromFileInput(''), '');
  });
});
