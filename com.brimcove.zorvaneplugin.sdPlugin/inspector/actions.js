// The nine actions as the property inspector sees them. Names and tooltips
// are the English texts of manifest.json; they are also the keys under which
// the language files hold their translations.
//
// listType: the word the plug-in's item lists carry for this action (no list
//           for broadcast and calibrate).
// numeric:  the action's "value" setting is a number; otherwise it is text.
// choice:   the heading of the list picker.
(function (root) {
  'use strict';

  const ACTIONS = {
    'com.brimcove.zorvaneplugin.broadcast': {
      name: 'Broadcast',
      tooltip:
        'Starts or stops broadcasting in Zorvane. The key lights up while Zorvane is on air.',
    },
    'com.brimcove.zorvaneplugin.calibrate': {
      name: 'Calibrate',
      tooltip: "Calibrates the avatar's tracking in Zorvane.",
    },
    'com.brimcove.zorvaneplugin.specialaction': {
      name: 'Special Action',
      tooltip: 'Plays the chosen special action of the avatar.',
      listType: 'special_action',
      numeric: true,
      choice: 'Special action',
    },
    'com.brimcove.zorvaneplugin.pose': {
      name: 'Pose',
      tooltip: 'Switches the chosen pose on or off. The key lights up while the pose is active.',
      listType: 'pose',
      numeric: true,
      choice: 'Pose',
    },
    'com.brimcove.zorvaneplugin.emote': {
      name: 'Emote',
      tooltip: 'Plays the chosen emote.',
      listType: 'emote',
      numeric: false,
      choice: 'Emote',
    },
    'com.brimcove.zorvaneplugin.quickslot': {
      name: 'Quick Slot',
      tooltip: 'Applies the chosen quick slot.',
      listType: 'quickslot',
      numeric: false,
      choice: 'Quick slot',
    },
    'com.brimcove.zorvaneplugin.changeavatar': {
      name: 'Change Avatar',
      tooltip: 'Switches Zorvane to the chosen avatar.',
      listType: 'avatar',
      numeric: false,
      choice: 'Avatar',
    },
    'com.brimcove.zorvaneplugin.changebackground': {
      name: 'Change Background',
      tooltip: 'Switches Zorvane to the chosen background.',
      listType: 'background',
      numeric: false,
      choice: 'Background',
    },
    'com.brimcove.zorvaneplugin.idle': {
      name: 'Idle Animation',
      tooltip: 'Sets the animation the avatar plays while idle.',
      listType: 'idle',
      numeric: true,
      choice: 'Idle animation',
    },
  };

  if (typeof module === 'object' && module.exports) {
    module.exports = ACTIONS;
  } else {
    root.ZorvaneActions = ACTIONS;
  }
})(this);
