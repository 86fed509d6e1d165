// The property inspector page in headless Chromium against a stand-in
// Stream Deck host: registration, lists with and without thumbnails, the
// settings a click writes, the key image, the not-running state and the
// page's languages.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { BUNDLE, InspectorHarness, REGISTER_EVENT } from './harness.mjs';

const ID = 'com.brimcove.zorvaneplugin.';
const NOT_RUNNING = 'The Zorvane desktop application is not running.';
const manifest = JSON.parse(fs.readFileSync(path.join(BUNDLE, 'manifest.json'), 'utf8'));
const tooltipOf = (uuid) => manifest.Actions.find((a) => a.UUID === uuid).Tooltip;

let harness;
let thumbs;

before(async () => {
  const image = (name) => fs.readFileSync(path.join(BUNDLE, 'images', 'keys', name));
  // Carol has no picture: her thumbnail must fall back to a placeholder.
  const fixtures = new Map([
    ['thumbs/alice.png', image('changeavatar@2x.png')],
    ['thumbs/Bob.png', image('emote@2x.png')],
    ['thumbs/1.png', image('quickslot.png')],
  ]);
  harness = await InspectorHarness.start(fixtures);
  thumbs = `${harness.httpBase}/fixtures/thumbs`;
});

after(async () => {
  await harness.stop();
});

// What a picker shows: each option's text, whether it is selected and its
// thumbnail (loaded image URL, "placeholder", or null without tiles).
function readPicker(page) {
  return page.$$eval('#item-list [role="option"]', (options) =>
    options.map((option) => {
      const img = option.querySelector('img.thumb');
      const box = option.querySelector('span.thumb');
      let thumbnail = null;
      if (img) thumbnail = img.complete && img.naturalWidth > 0 ? img.src : 'loading';
      else if (box) thumbnail = 'placeholder';
      return {
        text: option.querySelector('.item-text').textContent,
        selected: option.getAttribute('aria-selected') === 'true',
        thumbnail,
      };
    }),
  );
}

async function waitForOptions(page, count) {
  await page.waitForFunction((n) => {
    const options = document.querySelectorAll('#item-list [role="option"]');
    return (
      options.length === n &&
      [...options].every((o) => [...o.querySelectorAll('img')].every((img) => img.complete))
    );
  }, count);
}

function optionNamed(page, text) {
  return page.locator('#item-list [role="option"]', { hasText: text }).first();
}

// Runs in the page before its scripts and records the pauses a person would
// see: how long from each frame of the host until the page has drawn the
// frame after it (two animation frames later), the browser's own measure of
// each keystroke until the next paint (Event Timing; it leaves out those
// under 16 ms), and every animation frame of more than 50 ms.
function measurePauses() {
  window.afterMessage = [];
  window.keystrokes = [];
  window.longFrames = [];
  const PageSocket = window.WebSocket;
  window.WebSocket = class extends PageSocket {
    constructor(...args) {
      super(...args);
      this.addEventListener('message', () => {
        const start = performance.now();
        requestAnimationFrame(() =>
          requestAnimationFrame(() => window.afterMessage.push(performance.now() - start)),
        );
      });
    }
  };
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) if (e.name === 'keydown') window.keystrokes.push(e.duration);
  }).observe({ type: 'event', durationThreshold: 16 });
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) window.longFrames.push(e.duration);
  }).observe({ type: 'long-animation-frame' });
}

// Thumbnails of the sizes a real library has: a 2,048 px and a 1,024 px PNG
// and a 1,024 px JPEG, drawn and encoded by Chromium: a soft gradient with
// grain, so that they compress as photographs do.
async function makeThumbnails(context) {
  const page = await context.newPage();
  const pictures = await page.evaluate(() => {
    let seed = 1;
    const grain = () => {
      seed = (seed * 1103515245 + 12345) % 2147483648;
      return (seed / 2147483648 - 0.5) * 8;
    };
    const draw = (size, hue) => {
      const canvas = document.createElement('canvas');
      canvas.width = size;
      canvas.height = size;
      const g = canvas.getContext('2d');
      const light = g.createRadialGradient(
        size * 0.4,
        size * 0.35,
        size * 0.05,
        size / 2,
        size / 2,
        size * 0.7,
      );
      light.addColorStop(0, `hsl(${hue} 70% 75%)`);
      light.addColorStop(1, `hsl(${hue + 40} 50% 20%)`);
      g.fillStyle = light;
      g.fillRect(0, 0, size, size);
      const pixels = g.getImageData(0, 0, size, size);
      for (let i = 0; i < pixels.data.length; i += 4) {
        const n = grain();
        for (let c = 0; c < 3; c++) pixels.data[i + c] += n;
      }
      g.putImageData(pixels, 0, 0);
      return canvas;
    };
    return [
      ['png', draw(2048, 20).toDataURL('image/png')],
      ['png', draw(1024, 200).toDataURL('image/png')],
      ['jpg', draw(1024, 120).toDataURL('image/jpeg', 0.9)],
    ];
  });
  await page.close();
  return pictures.map(([ext, url]) => ({ ext, bytes: Buffer.from(url.split(',')[1], 'base64') }));
}

const avatarList = () => ({
  listType: 'avatar',
  itemList: [{ name: 'Alice', thumbnail: 'alice.png' }, { Name: 'Bob' }, 'Carol'],
  imagePath: thumbs,
});

describe('registration and the state before any list', () => {
  test('registers with its uuid and shows the stored settings and the not-running notice', async () => {
    const { page, uuid, registration, errors } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice', image: 'C:\\keys\\alice.png' },
    });
    assert.deepEqual(registration, { event: REGISTER_EVENT, uuid });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.match(
      await page.textContent('#not-running'),
      /The Zorvane desktop application is not running\./,
    );
    assert.equal(await page.textContent('#current-value'), 'Alice');
    assert.equal(await page.inputValue('#image-path'), 'C:\\keys\\alice.png');
    assert.equal(await page.textContent('#about'), tooltipOf(ID + 'changeavatar'));
    assert.equal(await page.isVisible('#item-list'), false);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a key without settings says nothing is chosen', async () => {
    const { page } = await harness.open({ action: ID + 'pose' });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.equal(await page.textContent('#current-value'), 'Nothing chosen yet');
    assert.equal(await page.inputValue('#image-path'), '');
    await page.close();
  });

  test('without a list, the stored entry is named by its label when there is one', async () => {
    const cases = [
      // [action, settings, what "Selected:" shows, controller]
      ['changeavatar', { value: 'bob-2', label: 'Bob' }, 'Bob'],
      ['changeavatar', { value: 'bob-2', label: 'Bob' }, 'Bob', 'Encoder'],
      ['pose', { value: 3, label: 'Peace' }, 'Peace'],
      ['changeavatar', { value: 'bob-2', label: '' }, 'bob-2'],
      ['changeavatar', { value: 'bob-2', label: 7 }, 'bob-2'],
      ['pose', { label: 'Peace' }, 'Nothing chosen yet'],
    ];
    for (const [action, settings, shown, controller] of cases) {
      const { page } = await harness.open({ action: ID + action, settings, controller });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.equal(await page.textContent('#current-value'), shown, JSON.stringify(settings));
      await page.close();
    }
  });

  test('broadcast and calibrate keys have no picker, only the key image', async () => {
    for (const action of ['broadcast', 'calibrate']) {
      const { page, host } = await harness.open({ action: ID + action });
      assert.equal(await page.textContent('#about'), tooltipOf(ID + action));
      assert.equal(await page.isVisible('#choice'), false);
      assert.equal(await page.isVisible('#not-running'), false, action);
      assert.equal(await page.isVisible('#image-path'), true);

      host.sendToPropertyInspector({ appDidClose: true });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.match(await page.textContent('#not-running'), /Start Zorvane to use this key\./);
      await page.close();
    }
  });

  test('on a dial they speak of the dial and show no key image', async () => {
    for (const action of ['broadcast', 'calibrate']) {
      const { page, host } = await harness.open({ action: ID + action, controller: 'Encoder' });
      assert.equal(await page.isVisible('#key-image'), false, action);
      host.sendToPropertyInspector({ appDidClose: true });
      await page.locator('#not-running').waitFor({ state: 'visible' });
      assert.match(await page.textContent('#not-running'), /Start Zorvane to use this dial\./);
      await page.close();
    }
  });
});

describe('lists and the settings a click writes', () => {
  test('an avatar list shows thumbnails, marks the stored avatar and writes the clicked one as text', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice', image: 'C:\\keys\\alice.png' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.equal(await page.isVisible('#not-running'), false);
    assert.deepEqual(await readPicker(page), [
      { text: 'Alice', selected: true, thumbnail: `${thumbs}/alice.png` },
      { text: 'Bob', selected: false, thumbnail: `${thumbs}/Bob.png` },
      { text: 'Carol', selected: false, thumbnail: 'placeholder' },
    ]);
    await harness.screenshot(page, 'inspector-avatar-list.png');

    await optionNamed(page, 'Bob').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Bob', label: 'Bob', image: 'C:\\keys\\alice.png' },
    });
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, true, false],
    );
    assert.equal(await page.textContent('#current-value'), 'Bob');
    // The picker was updated in place: the clicked button still has the focus.
    assert.equal(await page.evaluate(() => document.activeElement.title), 'Bob');
    await page.close();
  });

  test('pose, special action and idle keys write numbers', async () => {
    const cases = [
      // Objects with ids, one of them given as digits.
      {
        action: 'pose',
        listType: 'pose',
        itemList: [
          { name: 'Wave', id: 4 },
          { name: 'Peace', id: '7' },
        ],
        click: 'Peace',
        value: 7,
      },
      // Plain names: the position in the list is the value.
      {
        action: 'specialaction',
        listType: 'special_action',
        itemList: ['Jump', 'Spin', 'Bow'],
        click: 'Spin',
        value: 1,
      },
      {
        action: 'idle',
        listType: 'idle',
        itemList: [
          { label: 'Breathe', value: 0 },
          { label: 'Look around', value: 12 },
        ],
        click: 'Look around',
        value: 12,
      },
    ];
    for (const c of cases) {
      const { page, uuid, host } = await harness.open({
        action: ID + c.action,
        settings: { image: 'k.png' },
      });
      host.sendToPropertyInspector({ listType: c.listType, itemList: c.itemList });
      await waitForOptions(page, c.itemList.length);
      const picker = await readPicker(page);
      assert.ok(
        picker.every((o) => o.thumbnail === null),
        `${c.action}: no thumbnails without imagePath`,
      );
      await optionNamed(page, c.click).click();
      assert.deepEqual(
        await host.frames.next(),
        {
          event: 'setSettings',
          context: uuid,
          payload: { image: 'k.png', value: c.value, label: c.click },
        },
        c.action,
      );
      if (c.action === 'pose') await harness.screenshot(page, 'inspector-pose-list.png');
      await page.close();
    }
  });

  test('emote, quick slot and background keys write text, also for numeric items', async () => {
    const cases = [
      {
        action: 'emote',
        listType: 'emote',
        itemList: [
          { title: 'Laugh', value: 12 },
          { title: 'Cry', value: 13 },
        ],
        click: 'Laugh',
        value: '12',
      },
      {
        action: 'quickslot',
        listType: 'quickslot',
        itemList: ['1', '2'],
        click: '1',
        value: '1',
        thumbnail: `${thumbs}/1.png`,
      },
      {
        action: 'changebackground',
        listType: 'background',
        itemList: [{ id: 'beach', displayName: 'Beach' }],
        click: 'Beach',
        value: 'beach',
      },
    ];
    for (const c of cases) {
      const { page, uuid, host } = await harness.open({ action: ID + c.action });
      host.sendToPropertyInspector({
        listType: c.listType,
        itemList: c.itemList,
        imagePath: thumbs,
      });
      await waitForOptions(page, c.itemList.length);
      if (c.thumbnail) assert.equal((await readPicker(page))[0].thumbnail, c.thumbnail);
      await optionNamed(page, c.click).click();
      assert.deepEqual(
        await host.frames.next(),
        {
          event: 'setSettings',
          context: uuid,
          payload: { value: c.value, label: c.click },
        },
        c.action,
      );
      await page.close();
    }
  });

  test('settings from the host move the selection; a value missing from the list is named as such', async () => {
    const { page, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);

    host.didReceiveSettings({ value: 'Carol' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'Carol',
    );
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, false, true],
    );

    host.didReceiveSettings({ value: 'Zed' });
    await page.waitForFunction(() =>
      document.querySelector('#current-value').textContent.startsWith('Zed'),
    );
    assert.equal(await page.textContent('#current-value'), "Zed (not in Zorvane's list)");
    assert.ok((await readPicker(page)).every((o) => !o.selected));
    await page.close();
  });

  test("a dial's inspector shows the same picker, no key image, and follows the dial's turns", async () => {
    const { page, uuid, host, errors } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Alice' },
      controller: 'Encoder',
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.deepEqual(
      (await readPicker(page)).map((o) => [o.text, o.selected]),
      [
        ['Alice', true],
        ['Bob', false],
        ['Carol', false],
      ],
    );
    assert.equal(await page.isVisible('#key-image'), false);

    // Turning the dial: the plug-in stores the next avatar with setSettings,
    // which the Stream Deck application hands on to the open inspector.
    host.didReceiveSettings({ value: 'Bob' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'Bob',
    );
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.selected),
      [false, true, false],
    );
    await harness.screenshot(page, 'inspector-dial-avatar-list.png');

    await optionNamed(page, 'Carol').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Carol', label: 'Carol' },
    });
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a list of another kind is ignored and an empty list says so', async () => {
    const { page, host } = await harness.open({ action: ID + 'emote' });
    host.sendToPropertyInspector({ listType: 'avatar', itemList: ['Alice'], imagePath: thumbs });
    // Frames are handled in order: once these settings show, the list before them was handled too.
    host.didReceiveSettings({ value: 'wave' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'wave',
    );
    assert.equal(await page.isVisible('#not-running'), true);
    assert.equal(await page.locator('#item-list [role="option"]').count(), 0);

    host.sendToPropertyInspector({ listType: 'emote', itemList: [] });
    await page.locator('#empty-list').waitFor({ state: 'visible' });
    assert.equal(await page.isVisible('#not-running'), false);
    assert.equal(await page.isVisible('#item-list'), false);
    await page.close();
  });
});

describe('a list from a forger', () => {
  // Any process on the desktop can send the plug-in a list that looks like
  // the desktop application's: whatever it holds is shown as text.
  test('markup in a list entry is shown as text and runs nothing', async () => {
    const { page, uuid, host } = await harness.open({ action: ID + 'emote' });
    const forged = [
      '<img src="x" onerror="window.forged = 1">',
      '<script>window.forged = 2</script>',
      '<b>bold</b> & <i>more</i>',
    ];
    host.sendToPropertyInspector({
      listType: 'emote',
      itemList: forged.map((name) => ({ name, value: name })),
      imagePath: thumbs,
    });
    await waitForOptions(page, 3);
    assert.deepEqual(
      (await readPicker(page)).map((o) => o.text),
      forged,
    );
    assert.equal(await page.locator('#item-list b, #item-list script, #item-list i').count(), 0);
    assert.equal(await page.locator('#item-list img:not(.thumb)').count(), 0);
    assert.equal(await page.evaluate(() => window.forged), undefined);

    await optionNamed(page, 'bold').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: forged[2], label: forged[2] },
    });
    await page.close();
  });
});

describe('searching the list', () => {
  // The titles of the entries the search leaves in sight, and the entry
  // that Enter in the search field would choose.
  const shownTitles = (page) =>
    page.$$eval('#item-list [role="option"]:not([hidden])', (options) =>
      options.map((o) => o.title),
    );
  const activeTitle = (page) =>
    page.$eval('#item-list', (list) => {
      const active = list.querySelector('.active');
      return active ? active.title : null;
    });
  const focusedTitle = (page) => page.evaluate(() => document.activeElement.title);

  test('typing filters the entries ignoring case; Up, Down and Enter choose from the field', async () => {
    const { page, uuid, host, errors } = await harness.open({
      action: ID + 'emote',
      settings: { value: 'cry' },
    });
    const names = ['Wave', 'Laugh', 'Cry', 'Wave back', 'Bow', 'NEW WAVE'];
    host.sendToPropertyInspector({
      listType: 'emote',
      itemList: names.map((name) => ({ name, id: name.toLowerCase().replace(' ', '-') })),
    });
    await waitForOptions(page, names.length);
    assert.equal(await page.getAttribute('#item-search', 'type'), 'search');

    // From an empty field, Down goes on from the stored entry.
    await page.focus('#item-search');
    await page.keyboard.press('ArrowDown');
    assert.equal(await activeTitle(page), 'Wave back');
    const activeId = await page.$eval('#item-list .active', (option) => option.id);
    assert.equal(await page.getAttribute('#item-search', 'aria-activedescendant'), activeId);

    await page.keyboard.type('wAv');
    assert.deepEqual(await shownTitles(page), ['Wave', 'Wave back', 'NEW WAVE']);
    assert.equal(await activeTitle(page), 'Wave');
    for (const [key, active] of [
      ['ArrowDown', 'Wave back'],
      ['ArrowDown', 'NEW WAVE'],
      ['ArrowDown', 'NEW WAVE'],
      ['ArrowUp', 'Wave back'],
    ]) {
      await page.keyboard.press(key);
      assert.equal(await activeTitle(page), active, key);
    }
    await page.keyboard.press('Enter');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'wave-back', label: 'Wave back' },
    });
    assert.equal(await page.textContent('#current-value'), 'Wave back');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'item-search');

    // Nothing matches: the page says so, and Enter chooses nothing; the next
    // frame is the one of the search after it.
    await page.fill('#item-search', 'zz');
    assert.deepEqual(await shownTitles(page), []);
    assert.equal(await page.isVisible('#no-match'), true);
    await page.keyboard.press('Enter');
    await page.fill('#item-search', 'BOW');
    assert.equal(await page.isVisible('#no-match'), false);
    await page.keyboard.press('Enter');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'bow', label: 'Bow' },
    });

    await page.fill('#item-search', '');
    assert.deepEqual(await shownTitles(page), names);
    assert.equal(await activeTitle(page), null);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('on an entry the arrow keys move the focus among the entries shown, by rows in a grid', async () => {
    const { page, uuid, host } = await harness.open({ action: ID + 'changeavatar' });
    const names = ['Alice', 'Bob', 'Carol', 'Dave', 'Eve', 'Frank', 'Grace'];
    host.sendToPropertyInspector({ listType: 'avatar', itemList: names, imagePath: thumbs });
    await waitForOptions(page, names.length);
    // The tile straight below one, found from the layout.
    const below = (title) =>
      page.$$eval(
        '#item-list [role="option"]:not([hidden])',
        (options, t) => {
          const from = options.find((o) => o.title === t);
          const under = options.filter(
            (o) => o.offsetLeft === from.offsetLeft && o.offsetTop > from.offsetTop,
          );
          return under.length > 0 ? under[0].title : null;
        },
        title,
      );
    const underBob = await below('Bob');
    assert.ok(underBob, 'the grid has a second row under Bob');

    await optionNamed(page, 'Alice').focus();
    for (const [key, focused] of [
      ['ArrowRight', 'Bob'],
      ['ArrowDown', underBob],
      ['ArrowUp', 'Bob'],
      ['ArrowLeft', 'Alice'],
      ['ArrowLeft', 'Alice'],
      ['End', 'Grace'],
      ['Home', 'Alice'],
    ]) {
      await page.keyboard.press(key);
      assert.equal(await focusedTitle(page), focused, key);
    }

    // The hidden entries are skipped.
    await page.fill('#item-search', 'A');
    assert.deepEqual(await shownTitles(page), ['Alice', 'Carol', 'Dave', 'Frank', 'Grace']);
    await optionNamed(page, 'Alice').focus();
    await page.keyboard.press('ArrowRight');
    assert.equal(await focusedTitle(page), 'Carol');
    await page.keyboard.press('Enter');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Carol', label: 'Carol' },
    });
    await page.close();
  });

  test('a list of 1,000 entries with thumbnails opens on the stored entry and filters', async (t) => {
    const pictures = await makeThumbnails(harness.context);
    const animals = ['Fox', 'Owl', 'Cat', 'Bear', 'Wolf', 'Deer', 'Hare', 'Lynx'];
    const itemList = [];
    for (let i = 0; i < 1000; i++) {
      const { ext, bytes } = pictures[i % pictures.length];
      harness.fixtures.set(`thumbs/long/${i}.${ext}`, bytes);
      itemList.push({
        name: `${animals[i % animals.length]} ${i + 1}`,
        id: `avatar-${i + 1}`,
        thumbnail: `long/${i}.${ext}`,
      });
    }
    const { page, uuid, host, errors } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'avatar-750', label: 'Deer 750' },
      initScript: measurePauses,
    });
    host.sendToPropertyInspector({ listType: 'avatar', itemList, imagePath: thumbs });
    await page.waitForFunction(() => window.afterMessage.length > 0);
    const opened = await page.evaluate(() => window.afterMessage[0]);
    assert.equal(await page.locator('#item-list [role="option"]').count(), 1000);

    // Opened on the stored entry, far down the list, with its picture.
    const inSight = (title) =>
      page.$eval(
        '#item-list',
        (list, t) => {
          const option = [...list.children].find((o) => o.title === t);
          const box = list.getBoundingClientRect();
          const tile = option.getBoundingClientRect();
          return tile.top >= box.top && tile.bottom <= box.bottom;
        },
        title,
      );
    assert.equal(await inSight('Deer 750'), true);
    // Every tile in sight shows its picture, once read and decoded (on a busy
    // machine, decoding pictures of 2,048 px may take longer than the page's
    // usual hang guard).
    const picturesInSight = () =>
      page.waitForFunction(
        () => {
          const list = document.querySelector('#item-list');
          const box = list.getBoundingClientRect();
          // The tiles' own boxes: those of their pictures out of sight are
          // not laid out, and asking for them would make the browser do it.
          const seen = [...list.querySelectorAll('[role="option"]:not([hidden])')]
            .filter((option) => {
              const r = option.getBoundingClientRect();
              return r.bottom > box.top && r.top < box.bottom;
            })
            .flatMap((option) => [...option.querySelectorAll('img')]);
          return (
            seen.length > 0 &&
            seen.every(
              (img) =>
                img.complete &&
                img.naturalWidth > 0 &&
                getComputedStyle(img).visibility === 'visible',
            )
          );
        },
        null,
        { timeout: 60000 },
      );
    await picturesInSight();
    // Only the tiles near sight read their files.
    const read = await page.evaluate(
      () =>
        performance.getEntriesByType('resource').filter((r) => r.name.includes('/thumbs/long/'))
          .length,
    );
    assert.ok(read > 0 && read < 100, `${read} thumbnails read`);
    const openingFrames = await page.evaluate(() => window.longFrames.splice(0));

    // A turn of the dial elsewhere brings the new entry into sight.
    host.didReceiveSettings({ value: 'avatar-3', label: 'Cat 3' });
    await page.waitForFunction(
      () => document.querySelector('#current-value').textContent === 'Cat 3',
    );
    assert.equal(await inSight('Cat 3'), true);
    // Scrolling brings the pictures of the tiles it shows.
    await page.$eval('#item-list', (list) => (list.scrollTop = list.scrollHeight / 2));
    await picturesInSight();

    await page.evaluate(() => window.longFrames.splice(0));
    await page.focus('#item-search');
    await page.keyboard.type('deer 7');
    const expected = itemList.map((i) => i.name).filter((n) => n.toLowerCase().includes('deer 7'));
    assert.deepEqual(await shownTitles(page), expected);
    assert.equal(await activeTitle(page), expected[0]);
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Backspace');
    assert.equal((await shownTitles(page)).length, 1000);
    await page.keyboard.type('deer 7');
    await picturesInSight();
    await harness.screenshot(page, 'inspector-search.png');
    await page.keyboard.press('Enter');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: itemList.find((i) => i.name === expected[0]).id, label: expected[0] },
    });

    const { keystrokes, typingFrames } = await page.evaluate(
      () =>
        new Promise((resolve) =>
          requestAnimationFrame(() =>
            requestAnimationFrame(() =>
              resolve({ keystrokes: window.keystrokes, typingFrames: window.longFrames }),
            ),
          ),
        ),
    );
    const ms = (list) => (list.length ? list.map((d) => Math.round(d)).join(', ') + ' ms' : 'none');
    t.diagnostic(
      `1,000 entries, ${read} thumbnails read: from the list to the frame after the one ` +
        `showing it ${Math.round(opened)} ms; frames over 50 ms while opening: ${ms(openingFrames)}; ` +
        `keystrokes of 16 ms or more to the next paint: ${ms(keystrokes)}; ` +
        `frames over 50 ms while typing: ${ms(typingFrames)}`,
    );
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('the desktop application closing and coming back', () => {
  test('appDidClose replaces the list by the not-running notice, a new list brings it back', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'Bob' },
    });
    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);

    host.sendToPropertyInspector({ appDidClose: true });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.match(await page.textContent('#not-running'), /Start Zorvane to choose from its list\./);
    assert.equal(await page.isVisible('#item-list'), false);
    assert.equal(await page.textContent('#current-value'), 'Bob');
    await harness.screenshot(page, 'inspector-not-running.png');

    host.sendToPropertyInspector(avatarList());
    await waitForOptions(page, 3);
    assert.equal(await page.isVisible('#not-running'), false);
    await optionNamed(page, 'Carol').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'Carol', label: 'Carol' },
    });
    await page.close();
  });

  test('the label a click stores names the entry once Zorvane has closed', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'changeavatar',
      settings: { value: 'alice-1', image: 'a.png' },
    });
    host.sendToPropertyInspector({
      listType: 'avatar',
      itemList: [
        { name: 'Alice', id: 'alice-1' },
        { name: 'Bob', id: 'bob-2' },
      ],
    });
    await waitForOptions(page, 2);
    await optionNamed(page, 'Bob').click();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: 'bob-2', label: 'Bob', image: 'a.png' },
    });

    host.sendToPropertyInspector({ appDidClose: true });
    await page.locator('#not-running').waitFor({ state: 'visible' });
    assert.equal(await page.textContent('#current-value'), 'Bob');
    await page.close();
  });
});

describe('the key image', () => {
  test('a typed path, a chosen file and Clear each write the image setting', async () => {
    const { page, uuid, host } = await harness.open({
      action: ID + 'quickslot',
      settings: { value: '3' },
    });

    await page.fill('#image-path', 'D:\\Stream\\slot 3.png');
    await page.press('#image-path', 'Enter');
    await page.locator('#image-path').blur();
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3', image: 'D:\\Stream\\slot 3.png' },
    });

    // Outside the Stream Deck application a browser only reveals the file's name.
    const dir = fs.mkdtempSync(path.join(harness.profile, 'upload-'));
    const file = path.join(dir, 'my key.png');
    fs.copyFileSync(path.join(BUNDLE, 'images', 'keys', 'quickslot.png'), file);
    await page.setInputFiles('#image-file', file);
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3', image: 'my key.png' },
    });
    assert.equal(await page.inputValue('#image-path'), 'my key.png');

    await page.click('#image-clear');
    assert.deepEqual(await host.frames.next(), {
      event: 'setSettings',
      context: uuid,
      payload: { value: '3' },
    });
    assert.equal(await page.inputValue('#image-path'), '');
    assert.equal(host.frames.pending, 0);
    await page.close();
  });
});

describe('languages', () => {
  const languages = ['en', 'de', 'fr', 'es', 'ja', 'zh_CN', 'ko', 'zh_TW'];

  test("the page speaks the Stream Deck application's language", async () => {
    for (const language of languages) {
      const table = JSON.parse(
        fs.readFileSync(path.join(BUNDLE, `${language}.json`), 'utf8'),
      ).Localization;
      const { page } = await harness.open({ action: ID + 'changebackground', language });
      const notice = table[NOT_RUNNING];
      await page.waitForFunction(
        (text) => document.querySelector('#not-running strong').textContent === text,
        notice,
      );
      assert.equal(
        await page.textContent('#about'),
        table[tooltipOf(ID + 'changebackground')],
        language,
      );
      assert.equal(await page.textContent('#choice-label'), table.Background, language);
      assert.equal(await page.textContent('label[for="image-path"]'), table['Key image'], language);
      assert.equal(
        await page.getAttribute('#image-path', 'placeholder'),
        table['Path of a PNG file'],
        language,
      );
      assert.equal(
        await page.textContent('label[for="item-search"]'),
        table['Search the list'],
        language,
      );
      assert.equal(await page.getAttribute('#item-search', 'placeholder'), table.Search, language);
      assert.equal(
        await page.textContent('#no-match'),
        table['No entry matches the search.'],
        language,
      );
      if (language === 'de') await harness.screenshot(page, 'inspector-not-running-de.png');
      await page.close();
    }
  });

  test('an unknown language keeps the English page', async () => {
    const { page } = await harness.open({ action: ID + 'emote', language: 'xx' });
    // The page marks its language once the language file has been tried.
    await page.waitForFunction(() => document.documentElement.lang === 'xx');
    assert.equal(await page.textContent('#not-running strong'), NOT_RUNNING);
    assert.equal(await page.textContent('label[for="image-path"]'), 'Key image');
    await page.close();
  });
});
