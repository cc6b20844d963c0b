'use strict'

// The module's actions, feedbacks, variables and presets, built from the installation as
// the controller last described it. Plain objects and functions: Companion takes them as
// they are, and tests call the same callbacks.

const { combineRgb } = require('@companion-module/base')

const ALL = 'all'
const WHITE = combineRgb(255, 255, 255)
const BLACK = combineRgb(0, 0, 0)
const GREEN = combineRgb(0, 153, 51)
const RED = combineRgb(204, 0, 0)

const label = (entry) => (entry.alias && entry.alias !== entry.name ? entry.alias : entry.name)
const choices = (entries) => entries.map((entry) => ({ id: entry.name, label: label(entry) }))
const firstId = (list) => (list.length ? list[0].id : '')
const sceneChoices = (installation) => installation.scenes.map((name) => ({ id: name, label: name }))

// Variable names allow letters, digits, "-" and "_" only; network names are unique already.
function variableId(name) {
	return `source_${name.replace(/[^A-Za-z0-9_-]/g, '_')}`
}

function dropdown(id, labelText, list) {
	return { type: 'dropdown', id, label: labelText, choices: list, default: firstId(list), allowCustom: true }
}

// `send(method, params)` runs one controller command; its failure is the caller's to report.
function actions(installation, send) {
	const targets = [{ id: ALL, label: 'All screens' }, ...choices(installation.targets())]
	const sources = choices(installation.encoders)
	const decodersAndWalls = choices(installation.targets())
	const scenes = sceneChoices(installation)
	return {
		route: {
			name: 'Route a source',
			description: 'Shows an encoder on a decoder, a video wall or all screens',
			options: [dropdown('source', 'Source', sources), dropdown('target', 'Screen', targets)],
			callback: ({ options }) => send('route', { source: options.source, target: options.target }),
		},
		clear: {
			name: 'Clear a screen',
			description: 'Takes the source off a decoder, a video wall or all screens',
			options: [dropdown('target', 'Screen', targets)],
			callback: ({ options }) => send('clear', { target: options.target }),
		},
		power: {
			name: 'Display power',
			description: 'Switches displays on or off (HDMI-CEC through their decoders); none chosen means all',
			options: [
				{ type: 'dropdown', id: 'on', label: 'Power', choices: [{ id: 'on', label: 'On' }, { id: 'off', label: 'Off' }], default: 'on' },
				{ type: 'multidropdown', id: 'targets', label: 'Displays (empty: all)', choices: decodersAndWalls, default: [] },
			],
			callback: ({ options }) => {
				const params = { on: options.on === 'on' }
				if (Array.isArray(options.targets) && options.targets.length) params.targets = options.targets
				return send('power', params)
			},
		},
		numbers: {
			name: 'On-screen numbers',
			description: "Shows or hides each decoder's number on its display",
			options: [
				{ type: 'dropdown', id: 'show', label: 'Numbers', choices: [{ id: 'show', label: 'Show' }, { id: 'hide', label: 'Hide' }], default: 'show' },
			],
			callback: ({ options }) => send('numbers', { show: options.show === 'show' }),
		},
		scene_recall: {
			name: 'Recall a scene',
			description: 'Sends every screen of a saved scene its source (and display power, when the scene has it)',
			options: [dropdown('scene', 'Scene', scenes)],
			callback: ({ options }) => send('scene.recall', { name: options.scene }),
		},
		scene_retry: {
			name: 'Retry the last recall',
			description: 'Sends again to the decoders that did not confirm the last recall',
			options: [],
			callback: () => send('scene.retry', {}),
		},
	}
}

// `isConnected()` tells whether the module is connected and signed in.
function feedbacks(installation, isConnected) {
	const targets = choices(installation.targets())
	const sources = choices(installation.encoders)
	const devices = choices([...installation.targets(), ...installation.encoders])
	return {
		shows_source: {
			type: 'boolean',
			name: 'Screen shows a source',
			description: 'True while the decoder or video wall shows the chosen encoder',
			defaultStyle: { bgcolor: GREEN, color: WHITE },
			options: [dropdown('target', 'Screen', targets), dropdown('source', 'Source', sources)],
			callback: ({ options }) => installation.shows(options.target, options.source),
		},
		online: {
			type: 'boolean',
			name: 'Device online',
			description: 'True while the decoder, encoder or video wall answers the controller',
			defaultStyle: { bgcolor: GREEN, color: WHITE },
			options: [dropdown('device', 'Device', devices)],
			callback: ({ options }) => installation.isOnline(options.device),
		},
		scene_active: {
			type: 'boolean',
			name: 'Scene active',
			description: 'True while the screens show the scene, whoever routed them (the first saved scene that matches)',
			defaultStyle: { bgcolor: GREEN, color: WHITE },
			options: [dropdown('scene', 'Scene', sceneChoices(installation))],
			callback: ({ options }) => installation.sceneActive(options.scene),
		},
		connected: {
			type: 'boolean',
			name: 'Connected to the controller',
			description: 'True while the module is connected to the controller and signed in',
			defaultStyle: { bgcolor: GREEN, color: WHITE },
			options: [],
			callback: () => isConnected(),
		},
	}
}

function variableDefinitions(installation) {
	return [
		{ variableId: 'scene_active', name: 'Active scene' },
		{ variableId: 'scene_recall', name: 'Last scene recall: running, done or N unconfirmed' },
		...installation.targets().map((entry) => ({ variableId: variableId(entry.name), name: `Source on ${label(entry)}` })),
	]
}

function variableValues(installation) {
	const values = { scene_active: installation.activeScene || '', scene_recall: installation.recallResult() }
	for (const entry of installation.targets()) values[variableId(entry.name)] = installation.sourceLabel(entry.name)
	return values
}

function routeButton(categoryName, encoder, target, targetLabel) {
	return {
		type: 'button',
		category: categoryName,
		name: `${label(encoder)} to ${targetLabel}`,
		style: { text: label(encoder), size: 'auto', color: WHITE, bgcolor: BLACK },
		steps: [{ down: [{ actionId: 'route', options: { source: encoder.name, target } }], up: [] }],
		feedbacks:
			target === ALL
				? []
				: [{ feedbackId: 'shows_source', options: { target, source: encoder.name }, style: { bgcolor: GREEN, color: WHITE } }],
	}
}

// A page per wall: one button per encoder that lights while the wall shows it, and a clear
// button; the same for all screens; display power and numbers on a page of their own.
function presets(installation) {
	const out = {}
	const page = (categoryName, target, targetLabel) => {
		for (const encoder of installation.encoders)
			out[`route_${target}_${encoder.name}`] = routeButton(categoryName, encoder, target, targetLabel)
		out[`clear_${target}`] = {
			type: 'button',
			category: categoryName,
			name: `Clear ${targetLabel}`,
			style: { text: 'Clear', size: 'auto', color: WHITE, bgcolor: RED },
			steps: [{ down: [{ actionId: 'clear', options: { target } }], up: [] }],
			feedbacks: [],
		}
	}
	for (const wall of installation.walls) page(`Wall: ${label(wall)}`, wall.name, label(wall))
	page('All screens', ALL, 'all screens')
	const button = (id, category, text, actionId, options, lit = []) => {
		out[id] = {
			type: 'button',
			category,
			name: text,
			style: { text, size: 'auto', color: WHITE, bgcolor: BLACK },
			steps: [{ down: [{ actionId, options }], up: [] }],
			feedbacks: lit,
		}
	}
	// Scenes: a button per scene that recalls it and stays green while the screens show it,
	// and one that sends the last recall again to the decoders that did not confirm it.
	for (const scene of installation.scenes)
		button(`scene_recall_${scene}`, 'Scenes', scene, 'scene_recall', { scene }, [
			{ feedbackId: 'scene_active', options: { scene }, style: { bgcolor: GREEN, color: WHITE } },
		])
	button('scene_retry', 'Scenes', 'Retry recall', 'scene_retry', {})
	button('power_on', 'Displays', 'Displays on', 'power', { on: 'on', targets: [] })
	button('power_off', 'Displays', 'Displays off', 'power', { on: 'off', targets: [] })
	button('numbers_show', 'Displays', 'Show numbers', 'numbers', { show: 'show' })
	button('numbers_hide', 'Displays', 'Hide numbers', 'numbers', { show: 'hide' })
	out.connection = {
		type: 'button',
		category: 'Displays',
		name: 'Connection state',
		style: { text: 'Controller', size: 'auto', color: WHITE, bgcolor: RED },
		steps: [{ down: [], up: [] }],
		feedbacks: [{ feedbackId: 'connected', options: {}, style: { bgcolor: GREEN, color: WHITE } }],
	}
	return out
}

module.exports = { actions, feedbacks, variableDefinitions, variableValues, presets, variableId, ALL }
